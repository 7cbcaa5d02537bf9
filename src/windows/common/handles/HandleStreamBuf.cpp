#include "windows/common/handles/HandleStreamBuf.h"

#include <algorithm>

std::streamsize HandleStreamBuf::xsputn(const char* data, std::streamsize count) {
    std::streamsize written = 0;
    while (written < count) {
        const DWORD piece = static_cast<DWORD>(std::min<std::streamsize>(count - written, 1 << 30));
        DWORD done = 0;
        if (!WriteFile(file_, data + written, piece, &done, nullptr)) {
            error_ = GetLastError();
            break;
        }
        if (done == 0) break;
        written += done;
    }
    return written;
}

HandleStreamBuf::int_type HandleStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}
