#include "raw_sample.h"

#include <memory>
#include <vector>

#include <tiffio.h>

namespace morvane::test {

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Red at even row and column, blue at odd row and column, green elsewhere.
std::uint16_t mosaic_value(const RawSpec& spec, int x, int y) {
    const RawColour& colour = x < spec.width / 2 ? spec.left : spec.right;
    if (y % 2 == 0 && x % 2 == 0) return colour.red;
    if (y % 2 == 1 && x % 2 == 1) return colour.blue;
    return colour.green;
}

void set_tags(TIFF* tiff, const RawSpec& spec) {
    static const std::uint8_t version[4] = {1, 4, 0, 0};
    static const std::uint16_t repeat[2] = {2, 2};
    static const std::uint8_t pattern[4] = {0, 1, 1, 2};
    constexpr std::uint16_t kPhotometricCfa = 32803;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(spec.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(spec.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(spec.height));
    if (!spec.dng) {
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        return;
    }
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, kPhotometricCfa);
    TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, repeat);
    TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, pattern);
    TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Test camera");
}

}  // namespace

bool write_dng(const std::string& path, const RawSpec& spec) {
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff) return false;
    set_tags(tiff.get(), spec);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(spec.width));
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            row[static_cast<std::size_t>(x)] = mosaic_value(spec, x, y);
        }
        if (TIFFWriteScanline(tiff.get(), row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            return false;
        }
    }
    return TIFFFlush(tiff.get()) == 1;
}

}  // namespace morvane::test
