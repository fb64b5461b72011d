#include "job_keys.h"

#include <array>
#include <cstdlib>

#include <strings.h>

namespace morvane {
namespace {

constexpr KeyKind P = KeyKind::Path;
constexpr KeyKind T = KeyKind::Text;
constexpr KeyKind I = KeyKind::Integer;
constexpr KeyKind S = KeyKind::Switch;

constexpr std::array kJobKeys{
    JobKey{"FOLDERS", "source", P, "", "", kPathBuffer},
    JobKey{"FOLDERS", "target", P, "", "", kPathBuffer},
    JobKey{"FOLDERS", "move_path", P, "", "", kPathBuffer},
    JobKey{"PARAMS", "recurse", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "reproduce_path", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "reproduce_path_from_root", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "size", T, "", "", kSizeBuffer},
    JobKey{"PARAMS", "aspect_ratio", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "mono_instance", S, "1", "1", kColorBuffer},
    JobKey{"PARAMS", "erase", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "move", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "do_watermark", I, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "watermark_txt", T, "", "", kWatermarkTextBuffer},
    JobKey{"PARAMS", "watermark_file", P, "", "", kPathBuffer},
    JobKey{"PARAMS", "watermark_color", I, "", "", kColorBuffer},
    JobKey{"PARAMS", "watermark_location", I, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "watermark_tile", S, "0", "0", kColorBuffer},
    JobKey{"PARAMS", "watermark_dissolve", I, "10", "10", kColorBuffer},
    JobKey{"JPEG", "quality", I, "1", "75", kColorBuffer},
    JobKey{"JPEG", "progressive", S, "0", "1", kColorBuffer},
    JobKey{"EPS", "density", I, "72", "72", kColorBuffer},
    JobKey{"EPS", "trim", S, "0", "0", kColorBuffer},
    JobKey{"PDF", "density", I, "72", "72", kColorBuffer},
    JobKey{"PDF", "extract_all", S, "0", "1", kColorBuffer},
    JobKey{"PDF", "from_page", I, "0", "1", kColorBuffer},
    JobKey{"PDF", "to_page", I, "0", "1", kColorBuffer},
    JobKey{"TIFF", "extract_all", S, "0", "1", kColorBuffer},
    JobKey{"AVI", "extract_all", S, "1", "1", kColorBuffer},
    JobKey{"AVI", "extract_from", I, "-1", "0", kColorBuffer},
    JobKey{"AVI", "extract_to", I, "-1", "0", kColorBuffer},
    JobKey{"MPEG", "extract_all", S, "1", "1", kColorBuffer},
    JobKey{"MPEG", "extract_from", I, "-1", "0", kColorBuffer},
    JobKey{"MPEG", "extract_to", I, "-1", "0", kColorBuffer},
    JobKey{"MISC", "tooltips", S, "", "0", kColorBuffer},
};

// In the order the extension filter is built.
constexpr std::array kFormatKeys{
    FormatKey{"AI", ".ai", true},
    FormatKey{"AVI", ".avi", true},
    FormatKey{"BMP", ".bmp", true},
    FormatKey{"CUR", ".cur", true},
    FormatKey{"DCM", ".dcm", true},
    FormatKey{"DNG", ".dng", true},
    FormatKey{"EMF", ".emf", true},
    FormatKey{"EPS", ".ps .eps .ept", true},
    FormatKey{"GIF", ".gif", true},
    FormatKey{"FPX", ".fpx", true},
    FormatKey{"ICO", ".ico", true},
    FormatKey{"JNG", ".jng", true},
    FormatKey{"JP2", ".jp2", true},
    FormatKey{"JPEG", ".jpg .jpe", true},
    FormatKey{"MPEG", ".mpg .mpeg .m2v", true},
    FormatKey{"PCT", ".pct .pict", true},
    FormatKey{"PCX", ".pcx", true},
    FormatKey{"PDF", ".pdf", true},
    FormatKey{"PNG", ".png", true},
    FormatKey{"PSD", ".psd", true},
    FormatKey{"TGA", ".tga", true},
    FormatKey{"TIF", ".tif", true},
    FormatKey{"WMF", ".wmf", true},
    FormatKey{"CR2", ".cr2", true},
    FormatKey{"CRW", ".crw", true},
    FormatKey{"CSL", ".csl", false},
    FormatKey{"DIR", ".dir", true},
    FormatKey{"K25", ".k25", true},
    FormatKey{"KDC", ".kdc", true},
    FormatKey{"MDC", ".mdc", true},
    FormatKey{"MOS", ".mos", true},
    FormatKey{"MRW", ".mrw", true},
    FormatKey{"ORF", ".orf", true},
    FormatKey{"NEF", ".nef", true},
    FormatKey{"PEF", ".pef", true},
    FormatKey{"RAF", ".raf", true},
    FormatKey{"SRF", ".srf", true},
    FormatKey{"X3F", ".x3f", true},
};

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::span<const JobKey> job_keys() {
    return kJobKeys;
}

const JobKey& job_key(std::string_view section, std::string_view key) {
    for (const JobKey& row : kJobKeys) {
        if (same_name(row.section, section) && same_name(row.key, key)) return row;
    }
    std::abort();
}

std::span<const FormatKey> format_keys() {
    return kFormatKeys;
}

}  // namespace morvane
