// The mark every kiteboot stub carries among its resources, so that kiteboot-wrap writes only from a stub
// it knows: a resource of kiteboot's own type whose bytes name the stub's format. The resource script of
// a stub (cmake/KitebootBootstrapper.cmake) writes the same; the launcher never reads it.
#pragma once

#include <cstdint>
#include <string_view>

namespace wrap {

constexpr std::u16string_view stubMarkType = u"KITEBOOT";
constexpr std::uint16_t stubMarkName = 1;
// Changes when a stub's layout changes in a way an older kiteboot-wrap would not write correctly.
constexpr std::string_view stubMarkText = "kiteboot stub 1";

}  // namespace wrap
