#pragma once
// JPEG and PNG files written straight with libjpeg and libpng, so that a test can choose
// what ImageMagick never writes itself: sampling factors, colour spaces, markers, chunks.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvane::test {

enum class Pixels { Colour, Gray };  // Gray: every pixel has equal samples

struct JpegSpec {
    unsigned width = 67;
    unsigned height = 45;
    int components = 3;         // 1 gray, 3 YCbCr (or RGB with `rgb`), 4 CMYK
    bool rgb = false;           // stored as RGB (Adobe marker), not YCbCr
    std::vector<int> sampling;  // h, v per component; empty: libjpeg's default
    int quality = 85;
    bool progressive = false;
    bool jfif = true;
    int density_unit = 0;
    int x_density = 1;
    int y_density = 1;
    Pixels pixels = Pixels::Colour;
    std::vector<std::pair<int, std::string>> markers;  // marker code, data
    std::size_t cut = 0;                               // bytes cut off the end of the file
};

void write_jpeg(const std::string& path, const JpegSpec& spec);

struct PngSpec {
    unsigned width = 61;
    unsigned height = 39;
    int color_type = 2;  // libpng's PNG_COLOR_TYPE_* value
    int bit_depth = 8;
    bool interlaced = false;
    bool transparent_colour = false;  // a tRNS chunk
    std::optional<double> gamma;
    bool srgb = false;
    std::optional<std::pair<std::uint32_t, int>> phys;  // pixels per unit, unit
    std::string icc;
    std::vector<std::pair<std::string, std::string>> texts;
    Pixels pixels = Pixels::Colour;
};

void write_png(const std::string& path, const PngSpec& spec);

// An EXIF block ("Exif\0\0" and a TIFF structure) with IFD0's XResolution, YResolution
// and, when given, ResolutionUnit and Orientation, plus an EXIF directory with the pixel
// size when given.
struct ExifSpec {
    bool little_endian = true;
    std::uint32_t numerator = 72;
    std::uint32_t denominator = 1;
    std::optional<std::uint16_t> unit = 2;
    std::optional<std::uint16_t> orientation;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> pixel_size;
};

[[nodiscard]] std::string exif_block(const ExifSpec& spec);

// The ICC profile of an installed colour package, for a real profile to carry.
[[nodiscard]] std::string sample_icc_profile();

}  // namespace morvane::test
