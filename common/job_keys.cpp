#include "job_keys.h"

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "profile.h"
#include "source_formats.h"
#include "text_util.h"

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
    JobKey{"FOLDERS", "source", P, "", "", kPathBuffer, A},
    JobKey{"FOLDERS", "target", P, "", "", kPathBuffer, A},
    JobKey{"FOLDERS", "move_path", P, "", "", kPathBuffer, W},
    JobKey{"PARAMS", "recurse", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "reproduce_path", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "reproduce_path_from_root", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "size", T, "", "", kSizeBuffer, A},
    JobKey{"PARAMS", "aspect_ratio", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "mono_instance", S, "1", "1", kColorBuffer, A},
    JobKey{"PARAMS", "erase", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "move", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "do_watermark", I, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "watermark_txt", T, "", "", kWatermarkTextBuffer, W},
    JobKey{"PARAMS", "watermark_file", P, "", "", kPathBuffer, W},
    JobKey{"PARAMS", "watermark_color", I, "", "", kColorBuffer, A},
    JobKey{"PARAMS", "watermark_location", I, "0", "0", kColorBuffer, W},
    JobKey{"PARAMS", "watermark_tile", S, "0", "0", kColorBuffer, A},
    JobKey{"PARAMS", "watermark_dissolve", I, "10", "10", kColorBuffer, A},
    JobKey{"JPEG", "quality", I, "1", "75", kColorBuffer, A},
    JobKey{"JPEG", "progressive", S, "0", "1", kColorBuffer, A},
    JobKey{"EPS", "density", I, "72", "72", kColorBuffer, A},
    JobKey{"EPS", "trim", S, "0", "0", kColorBuffer, A},
    JobKey{"PDF", "density", I, "72", "72", kColorBuffer, A},
    JobKey{"PDF", "extract_all", S, "0", "1", kColorBuffer, A},
    JobKey{"PDF", "from_page", I, "0", "1", kColorBuffer, W},
    JobKey{"PDF", "to_page", I, "0", "1", kColorBuffer, W},
    JobKey{"TIFF", "extract_all", S, "0", "1", kColorBuffer, A},
    JobKey{"AVI", "extract_all", S, "1", "1", kColorBuffer, A},
    JobKey{"AVI", "extract_from", I, "-1", "0", kColorBuffer, W},
    JobKey{"AVI", "extract_to", I, "-1", "0", kColorBuffer, W},
    JobKey{"MPEG", "extract_all", S, "1", "1", kColorBuffer, A},
    JobKey{"MPEG", "extract_from", I, "-1", "0", kColorBuffer, W},
    JobKey{"MPEG", "extract_to", I, "-1", "0", kColorBuffer, W},
    // Window only: the engine never reads it.
    JobKey{"MISC", "tooltips", S, "", "0", kColorBuffer, M},
    // Engine only: limits of one source and parallel workers.
    JobKey{"PARAMS", "workers", I, "1", "", kColorBuffer, N},
    JobKey{"LIMITS", "time", I, "300", "", kColorBuffer, N},
    JobKey{"LIMITS", "memory", I, "4096", "", kColorBuffer, N},
    JobKey{"LIMITS", "file_size", I, "4096", "", kColorBuffer, N},
};

// The FORMATS switches of the source format table, with their folder-walk extensions.
struct FormatKeyTable {
    std::vector<std::string> extensions;
    std::vector<FormatKey> keys;
};

std::string walked_extensions(const SourceFormat& format) {
    std::string list;
    for (const SourceExtension& ext : format.extensions) {
        if ((ext.admitted & kFolderWalk) == 0) continue;
        if (!list.empty()) list.push_back(' ');
        list.append(ext.name);
    }
    return list;
}

FormatKeyTable build_format_keys() {
    FormatKeyTable table;
    for (const SourceFormat& format : source_formats()) {
        if (!format.key.empty()) table.extensions.push_back(walked_extensions(format));
    }
    std::size_t next = 0;
    for (const SourceFormat& format : source_formats()) {
        if (format.key.empty()) continue;
        table.keys.push_back(FormatKey{format.key, table.extensions[next++], !format.code.empty()});
    }
    return table;
}

}  // namespace

std::span<const JobKey> job_keys() {
    return kJobKeys;
}

const JobKey& job_key(std::string_view section, std::string_view key) {
    for (const JobKey& row : kJobKeys) {
        if (equal_ignoring_case(row.section, section) && equal_ignoring_case(row.key, key))
            return row;
    }
    std::abort();
}

std::span<const FormatKey> format_keys() {
    static const FormatKeyTable table = build_format_keys();
    return table.keys;
}

int fe_default_int(std::string_view section, std::string_view key) {
    return profile_text_to_int(job_key(section, key).fe_default);
}

int engine_default_int(std::string_view section, std::string_view key) {
    return profile_text_to_int(job_key(section, key).engine_default);
}

}  // namespace morvane
