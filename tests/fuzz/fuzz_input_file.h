#pragma once
// Fuzz targets that read files get their input through one file per process.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace morvane::fuzz {

inline std::string input_file(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/morvane-fuzz-" + std::to_string(::getpid()) + ".ini";
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    return path;
}

}  // namespace morvane::fuzz
