#pragma once
// The JPEG and PNG codecs driven straight, for the plain format change: a source read a
// band of rows at a time as 8-bit gray or RGB, with what ImageMagick would carry from it
// into a JPEG file (the JPEG writer is in plain_jpeg_writer.h).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvane::codec {

// A source's picture and what its JPEG output takes over besides the pixels.
struct SourceInfo {
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;         // 1: gray, 3: RGB; one byte per sample
    std::vector<int> sampling;  // a JPEG source's h, v factors per component; else empty
    double x_resolution = 0;    // 0: the source gives none
    double y_resolution = 0;
    int units = 0;  // of the resolution: 0 none, 1 per inch, 2 per centimetre
    std::optional<std::string> comment;
    std::string exif;  // the whole APP1 data, "Exif\0\0" included
    std::string icc;
    std::optional<std::string> xmp;  // the packet, without its namespace
    // The other APPn blocks ImageMagick keeps (n = 1, 3 to 12, 15), each with the data of
    // all its markers one after the other.
    std::map<int, std::string> app_blocks;
};

class Source {
  public:
    virtual ~Source() = default;
    [[nodiscard]] const SourceInfo& info() const { return info_; }
    // The next `count` rows, width * components bytes each. False when the codec met
    // anything at all to report (an error or a warning); the source is then declined.
    [[nodiscard]] virtual bool read_rows(unsigned char* rows, unsigned count) = 0;
    // After the last row: false when what follows the pixels is declined too.
    [[nodiscard]] virtual bool finish() = 0;

  protected:
    SourceInfo info_;
};

// A JPEG or PNG file that can be written as JPEG exactly as ImageMagick writes it; nothing
// for any other file and for a source ImageMagick could read into something else: CMYK,
// 16-bit samples, transparency, an interlaced PNG, a gamma other than sRGB's, text or
// metadata that ImageMagick turns into picture settings or into output it is not
// reproduced here.
//
// With `jpeg_scale_box`, a JPEG source is decoded at the reduced scale that ImageMagick
// picks for that box when it is told the size wanted (1 / the whole part of the smaller
// ratio of picture to box).
struct Box {
    unsigned width = 0;
    unsigned height = 0;
};
[[nodiscard]] std::unique_ptr<Source> open_source(const std::string& path,
                                                  std::optional<Box> jpeg_scale_box);

}  // namespace morvane::codec
