#pragma once
// Camera-raw files made at test time: a DNG holding a 16-bit Bayer mosaic (RGGB) whose
// left and right halves show the given colours.

#include <cstdint>
#include <string>

namespace morvane::test {

struct RawColour {
    std::uint16_t red = 0, green = 0, blue = 0;
};

struct RawSpec {
    int width = 64;  // even, so that each half holds whole 2x2 cells
    int height = 48;
    RawColour left{20000, 20000, 20000};
    RawColour right{20000, 20000, 20000};
    bool dng = true;  // false: the same samples as a plain grey TIFF, no camera file
};

// Writes the file; false when libtiff could not.
[[nodiscard]] bool write_dng(const std::string& path, const RawSpec& spec = {});

}  // namespace morvane::test
