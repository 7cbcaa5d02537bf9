// An output stream buffer that writes straight through a file handle, so a file the caller made (and
// holds) can be written with the standard stream functions without being opened again by name.
#pragma once

#include <streambuf>

#include "common/windows/WinHeaders.h"

class HandleStreamBuf : public std::streambuf {
public:
    // file is not owned; it must stay open while the buffer is used. Nothing is buffered.
    explicit HandleStreamBuf(HANDLE file) : file_(file) {}

    // The Windows error of the write that failed (a full disk: ERROR_DISK_FULL); ERROR_SUCCESS while none
    // has, or when the system wrote nothing without naming an error. The stream itself says only that it
    // failed.
    DWORD error() const { return error_; }

protected:
    // Each returns what was written: a short count (or EOF) makes the stream fail.
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type c) override;

private:
    HANDLE file_;
    DWORD error_ = ERROR_SUCCESS;
};
