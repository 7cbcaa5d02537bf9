// Ctrl+C and termination requests end a run at the next piece it writes, through the same road as a failure,
// so its temporary file is deleted.
#pragma once

namespace wrap {

void catchInterruptions();
// Throws WrapError when an interruption was requested.
void stopIfInterrupted();

}  // namespace wrap
