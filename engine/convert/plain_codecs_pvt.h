#pragma once
// What the codec files share: the owner of an open source file, libjpeg's error manager
// that ends the work at any message, and the JPEG marker limits.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

// libjpeg and libpng report errors by longjmp. Every call that may jump is made from a
// function of its own that holds the setjmp and nothing with a destructor.

namespace morvane::codec {

constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr std::size_t kMarkerMax = 65533;

struct Closer {
    void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// The error manager of both JPEG directions: an error or a warning ends the work.
struct JpegError {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

// Sets up `error` so that every error and warning jumps back to its setjmp.
void quiet_errors(JpegError& error);

}  // namespace morvane::codec
