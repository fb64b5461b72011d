#include "job_keys.h"

#include <array>
#include <cstdlib>

#include <strings.h>

#include "profile.h"

namespace morvane {
namespace {

constexpr KeyKind P = KeyKind::Path;
constexpr KeyKind T = KeyKind::Text;
constexpr KeyKind I = KeyKind::Integer;
constexpr KeyKind S = KeyKind::Switch;
constexpr FrontEnd A = FrontEnd::Saves;
constexpr FrontEnd W = FrontEnd::SavesWhen;
constexpr FrontEnd M = FrontEnd::Menu;
constexpr FrontEnd N = FrontEnd::None;

constexpr std::array kJobKeys{
    JobKey{"FOLDERS", "source", P, "", "", kPathBuffer, A, true},
    JobKey{"FOLDERS", "target", P, "", "", kPathBuffer, A, true},
    JobKey{"FOLDERS", "move_path", P, "", "", kPathBuffer, W, true},
    JobKey{"PARAMS", "recurse", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "reproduce_path", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "reproduce_path_from_root", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "size", T, "", "", kSizeBuffer, A, true},
    JobKey{"PARAMS", "aspect_ratio", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "mono_instance", S, "1", "1", kColorBuffer, A, true},
    JobKey{"PARAMS", "erase", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "move", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "do_watermark", I, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "watermark_txt", T, "", "", kWatermarkTextBuffer, W, true},
    JobKey{"PARAMS", "watermark_file", P, "", "", kPathBuffer, W, true},
    JobKey{"PARAMS", "watermark_color", I, "", "", kColorBuffer, A, true},
    JobKey{"PARAMS", "watermark_location", I, "0", "0", kColorBuffer, W, true},
    JobKey{"PARAMS", "watermark_tile", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PARAMS", "watermark_dissolve", I, "10", "10", kColorBuffer, A, true},
    JobKey{"JPEG", "quality", I, "1", "75", kColorBuffer, A, true},
    JobKey{"JPEG", "progressive", S, "0", "1", kColorBuffer, A, true},
    JobKey{"EPS", "density", I, "72", "72", kColorBuffer, A, true},
    JobKey{"EPS", "trim", S, "0", "0", kColorBuffer, A, true},
    JobKey{"PDF", "density", I, "72", "72", kColorBuffer, A, true},
    JobKey{"PDF", "extract_all", S, "0", "1", kColorBuffer, A, true},
    JobKey{"PDF", "from_page", I, "0", "1", kColorBuffer, W, true},
    JobKey{"PDF", "to_page", I, "0", "1", kColorBuffer, W, true},
    JobKey{"TIFF", "extract_all", S, "0", "1", kColorBuffer, A, true},
    JobKey{"AVI", "extract_all", S, "1", "1", kColorBuffer, A, true},
    JobKey{"AVI", "extract_from", I, "-1", "0", kColorBuffer, W, true},
    JobKey{"AVI", "extract_to", I, "-1", "0", kColorBuffer, W, true},
    JobKey{"MPEG", "extract_all", S, "1", "1", kColorBuffer, A, true},
    JobKey{"MPEG", "extract_from", I, "-1", "0", kColorBuffer, W, true},
    JobKey{"MPEG", "extract_to", I, "-1", "0", kColorBuffer, W, true},
    JobKey{"MISC", "tooltips", S, "", "0", kColorBuffer, M, false},
    // Engine only: limits of one source and parallel workers.
    JobKey{"PARAMS", "workers", I, "1", "", kColorBuffer, N, true},
    JobKey{"LIMITS", "time", I, "300", "", kColorBuffer, N, true},
    JobKey{"LIMITS", "memory", I, "4096", "", kColorBuffer, N, true},
    JobKey{"LIMITS", "file_size", I, "4096", "", kColorBuffer, N, true},
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

int fe_default_int(std::string_view section, std::string_view key) {
    return profile_text_to_int(job_key(section, key).fe_default);
}

int engine_default_int(std::string_view section, std::string_view key) {
    return profile_text_to_int(job_key(section, key).engine_default);
}

}  // namespace morvane
