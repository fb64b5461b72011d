#pragma once
// JobSettings, the engine's record of one job, and its readers: the job file and the
// file-list file that carries a hand-picked list of sources.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job_keys.h"

namespace morvane {

enum class RunMode { Folders, Files, SingleFile };

// Frame range of one video section.
struct FrameRange {
    int extract_all;
    int from;
    int to;
};

// A video section's frame range as the job-key table's defaults give it.
[[nodiscard]] inline FrameRange default_frame_range(std::string_view section) {
    return {engine_default_int(section, "extract_all"), engine_default_int(section, "extract_from"),
            engine_default_int(section, "extract_to")};
}

// What one source may take while it converts (the LIMITS section, which the front end
// never writes).
// Defaults from the job-key table's LIMITS rows.
struct Limits {
    int seconds = engine_default_int("LIMITS", "time");             // time for one source
    long memory_mb = engine_default_int("LIMITS", "memory");        // address space; 0: no limit
    long file_size_mb = engine_default_int("LIMITS", "file_size");  // largest output; 0: none
};

// Every default comes from the engine column of the job-key table (common/job_keys.cpp).
struct JobSettings {
    // FOLDERS
    std::string source;
    std::string target;
    std::string move_path;
    // PARAMS
    int recurse = engine_default_int("PARAMS", "recurse");
    int reproduce_path = engine_default_int("PARAMS", "reproduce_path");
    int reproduce_path_from_root = engine_default_int("PARAMS", "reproduce_path_from_root");
    std::string size;
    int aspect_ratio = engine_default_int("PARAMS", "aspect_ratio");
    int erase = engine_default_int("PARAMS", "erase");
    int move = engine_default_int("PARAMS", "move");
    // PARAMS/do_watermark after the reading rule: 0 none, 1 text, 2 image, else none.
    int watermark_mode = engine_default_int("PARAMS", "do_watermark");
    std::string watermark_txt;
    std::string watermark_file;
    std::uint32_t watermark_color =  // 0x00BBGGRR
        static_cast<std::uint32_t>(engine_default_int("PARAMS", "watermark_color"));
    int watermark_location = engine_default_int("PARAMS", "watermark_location");
    int watermark_tile = engine_default_int("PARAMS", "watermark_tile");
    int watermark_dissolve = engine_default_int("PARAMS", "watermark_dissolve");
    // FORMATS, one switch per format_keys() row, in that order
    std::vector<int> formats;
    // JPEG
    int quality = engine_default_int("JPEG", "quality");
    int progressive = engine_default_int("JPEG", "progressive");
    // EPS
    int eps_density = engine_default_int("EPS", "density");
    int eps_trim = engine_default_int("EPS", "trim");
    // PDF
    int pdf_density = engine_default_int("PDF", "density");
    int pdf_extract_all = engine_default_int("PDF", "extract_all");
    int pdf_from_page = engine_default_int("PDF", "from_page");
    int pdf_to_page = engine_default_int("PDF", "to_page");
    // TIFF
    int tiff_extract_all = engine_default_int("TIFF", "extract_all");
    // AVI, MPEG
    FrameRange avi = default_frame_range("AVI");
    FrameRange mpeg = default_frame_range("MPEG");
    // LIMITS
    Limits limits;
    // PARAMS/workers, which the front end never writes: how many sources convert at
    // once (1, the default: one after the other; 0 in the file: one per core).
    int workers = engine_default_int("PARAMS", "workers");

    // Derived by the run driver.
    std::string job_file_path;
    RunMode mode = RunMode::Folders;
    std::string extension_filter;
    std::string file_list_path;  // empty unless the run was started in the "G" form

    // Why the reading stopped short of a plain missing key: the job file could not be
    // used, or the key's path was refused. The log gets it as a tab-indented line.
    std::string stop_reason;
    // Values that were refused while the run goes on without them, one log line each
    // (written right after the header).
    std::vector<std::string> notes;

    // True when the watermark mode is one the converters act on (1 or 2).
    [[nodiscard]] bool watermarks() const { return watermark_mode == 1 || watermark_mode == 2; }
};

enum class JobReadStatus { Ok, SourceMissing, TargetMissing };

// The largest job file and file-list file read; anything larger is not used at all.
inline constexpr std::size_t kJobFileLimit = 16 * 1024 * 1024;
inline constexpr std::size_t kFileListLimit = 256 * 1024 * 1024;

// Fills `job` from the job file (missing keys take the engine's defaults, malformed
// numbers read as 0). A file that is not a regular file of at most kJobFileLimit bytes
// is read as no file, with `stop_reason` saying why. Source and target are read first;
// a missing or empty one, or a path longer than 259 characters, stops the reading with
// its status. Longer move and watermark paths are left empty, with a note.
[[nodiscard]] JobReadStatus read_job_settings(const std::string& job_file, JobSettings& job);

// Reads PARAMS/mono_instance (default 1) from a job file, read as read_job_settings does.
[[nodiscard]] int read_mono_instance(const std::string& job_file);

// True when the job file, read as read_job_settings does, has a FOLDERS/target value.
[[nodiscard]] bool has_target_key(const std::string& job_file);

// One source of a file-list file, with the reason it is refused (empty when it is not).
struct ListedFile {
    std::string path;
    std::string refusal;
};

struct FileList {
    bool read = false;    // false: the run walks the source folder instead
    std::string refusal;  // why a file that is there was not used ("is not a regular file")
    std::vector<ListedFile> files;
};

// Reads the FILES section of a file-list file: keys 0, 1, 2 ... up to the first missing
// or empty one; a path longer than 259 characters is refused, not cut. Only a regular
// file of at most kFileListLimit bytes that is not a symbolic link is read.
[[nodiscard]] FileList read_file_list(const std::string& path);

// The extension filter: the admitted extensions of every FORMATS switch that is on,
// blank-separated, in the fixed order of format_keys().
[[nodiscard]] std::string build_extension_filter(const JobSettings& job);

}  // namespace morvane
