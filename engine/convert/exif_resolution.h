#pragma once
// The resolution that ImageMagick takes from a picture's EXIF block: its XResolution,
// YResolution and ResolutionUnit, wherever in the block's directories they stand.
// ImageMagick writes the resolution back into the block.

#include <optional>
#include <string_view>

namespace morvane::codec {

struct ExifResolution {
    std::optional<double> x;  // pixels per unit; only when the block gives a usable value
    std::optional<double> y;
    std::optional<int> units;  // 0 none, 1 per inch, 2 per centimetre
};

// `block` is an APP1 block, "Exif\0\0" included. Nothing when the block cannot be read
// with certainty or would not come out of ImageMagick unchanged: a damaged directory, a
// tag of an unexpected type, two directories that disagree, a resolution that is not a
// whole number over 1, a unit other than 1 to 3.
[[nodiscard]] std::optional<ExifResolution> exif_resolution(std::string_view block);

}  // namespace morvane::codec
