#include "job_settings.h"

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

#include "job_keys.h"
#include "path_util.h"
#include "profile.h"

namespace morvane {
namespace {

// Reads one key with the defaults and buffer size of its row in the key table.
class JobFileReader {
  public:
    explicit JobFileReader(const std::string& path)
        : profile_(Profile::load(path, {kJobFileLimit, true})) {}

    std::string text(std::string_view section, std::string_view key) const {
        const JobKey& row = job_key(section, key);
        return profile_.get_string(section, key, row.engine_default, row.buffer);
    }

    // A path key: longer than its buffer holds, it is refused (empty, with the reason in
    // `refusal`) rather than cut into the name of another file.
    std::string path(std::string_view section, std::string_view key, std::string& refusal) const {
        const JobKey& row = job_key(section, key);
        const std::string_view value = profile_.value(section, key);
        if (path_fits(value)) return text(section, key);
        refusal = std::string(row.section) + "/" + std::string(row.key) + " is longer than " +
                  std::to_string(kLongestJobPath) + " characters";
        return {};
    }

    int number(std::string_view section, std::string_view key) const {
        const JobKey& row = job_key(section, key);
        return profile_.get_int(section, key, profile_text_to_int(row.engine_default));
    }

    int format_switch(std::string_view key) const { return profile_.get_int("FORMATS", key, 0); }

    const Profile& profile() const { return profile_; }

  private:
    Profile profile_;
};

void read_frame_range(const JobFileReader& in, std::string_view section, FrameRange& range) {
    range.extract_all = in.number(section, "extract_all");
    range.from = in.number(section, "extract_from");
    range.to = in.number(section, "extract_to");
}

// The watermark keys: the mode decides which of them are read at all, and a mode whose
// text or file is empty becomes 0.
void read_watermark(const JobFileReader& in, JobSettings& job) {
    job.watermark_mode = in.number("PARAMS", "do_watermark");
    if (job.watermark_mode == 1) {
        job.watermark_txt = in.text("PARAMS", "watermark_txt");
        if (job.watermark_txt.empty()) {
            job.watermark_mode = 0;
            return;
        }
        job.watermark_color =
            static_cast<std::uint32_t>(profile_text_to_int(in.text("PARAMS", "watermark_color")));
        job.watermark_location = in.number("PARAMS", "watermark_location");
        return;
    }
    std::string refusal;
    job.watermark_file = in.path("PARAMS", "watermark_file", refusal);
    // A refused file keeps the mode: the job goes on as with an image that cannot be read.
    if (!refusal.empty()) job.notes.push_back(refusal + " and is not used");
    if (job.watermark_file.empty() && refusal.empty()) {
        job.watermark_mode = 0;
    } else {
        job.watermark_tile = in.number("PARAMS", "watermark_tile");
        job.watermark_location = in.number("PARAMS", "watermark_location");
    }
    job.watermark_dissolve = in.number("PARAMS", "watermark_dissolve");
}

void read_document_keys(const JobFileReader& in, JobSettings& job) {
    job.quality = in.number("JPEG", "quality");
    job.progressive = in.number("JPEG", "progressive");
    job.eps_density = in.number("EPS", "density");
    job.eps_trim = in.number("EPS", "trim");
    job.pdf_density = in.number("PDF", "density");
    job.pdf_extract_all = in.number("PDF", "extract_all");
    job.pdf_from_page = in.number("PDF", "from_page");
    job.pdf_to_page = in.number("PDF", "to_page");
    job.tiff_extract_all = in.number("TIFF", "extract_all");
}

// Limits that are missing, empty or not above 0 keep their defaults, except that 0
// switches the memory and file-size limits off.
void read_limits(const Profile& profile, Limits& limits) {
    const int seconds = profile.get_int("LIMITS", "time", engine_default_int("LIMITS", "time"));
    if (seconds > 0) limits.seconds = seconds;
    const int memory = profile.get_int("LIMITS", "memory", engine_default_int("LIMITS", "memory"));
    if (memory >= 0) limits.memory_mb = memory;
    const int file_size =
        profile.get_int("LIMITS", "file_size", engine_default_int("LIMITS", "file_size"));
    if (file_size >= 0) limits.file_size_mb = file_size;
}

// PARAMS/workers: a whole number; 0 is one per core; anything else (missing, empty,
// malformed, below 0) is the default, the one-at-a-time run.
int read_workers(const Profile& profile) {
    constexpr int kMostWorkers = 64;
    const int fallback = engine_default_int("PARAMS", "workers");
    const std::string text = profile.get_string("PARAMS", "workers", "", kColorBuffer);
    char* end = nullptr;
    const long asked = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || asked < 0) return fallback;
    if (asked == 0) {
        return std::clamp(static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN)), 1, kMostWorkers);
    }
    return static_cast<int>(std::min<long>(asked, kMostWorkers));
}

}  // namespace

JobReadStatus read_job_settings(const std::string& job_file, JobSettings& job) {
    const JobFileReader in(job_file);
    if (!in.profile().refusal().empty()) {
        job.stop_reason = "the job file " + job_file + " " + in.profile().refusal();
    }
    job.source = in.path("FOLDERS", "source", job.stop_reason);
    if (job.source.empty()) return JobReadStatus::SourceMissing;
    job.target = in.path("FOLDERS", "target", job.stop_reason);
    if (job.target.empty()) return JobReadStatus::TargetMissing;

    job.aspect_ratio = in.number("PARAMS", "aspect_ratio");
    job.erase = in.number("PARAMS", "erase");
    job.formats.clear();
    for (const FormatKey& format : format_keys()) {
        job.formats.push_back(in.format_switch(format.key));
    }
    read_frame_range(in, "AVI", job.avi);
    read_frame_range(in, "MPEG", job.mpeg);
    read_document_keys(in, job);
    job.recurse = in.number("PARAMS", "recurse");
    job.reproduce_path = in.number("PARAMS", "reproduce_path");
    job.reproduce_path_from_root = in.number("PARAMS", "reproduce_path_from_root");
    job.move = in.number("PARAMS", "move");
    std::string refusal;
    job.move_path = in.path("FOLDERS", "move_path", refusal);
    if (!refusal.empty()) job.notes.push_back(refusal + " and is not used");
    job.size = in.text("PARAMS", "size");
    read_watermark(in, job);
    read_limits(in.profile(), job.limits);
    job.workers = read_workers(in.profile());
    return JobReadStatus::Ok;
}

int read_mono_instance(const std::string& job_file) {
    return JobFileReader(job_file).number("PARAMS", "mono_instance");
}

bool has_target_key(const std::string& job_file) {
    return JobFileReader(job_file).profile().has_value("FOLDERS", "target");
}

FileList read_file_list(const std::string& path) {
    FileList list;
    // Opened without following a link: the list names the files the run converts.
    const Profile file = Profile::load(path, {kFileListLimit, false});
    list.read = file.opened();
    list.refusal = file.refusal();
    for (int key = 0; list.read; ++key) {
        const std::string_view value = file.value("FILES", std::to_string(key));
        if (value.empty()) break;
        ListedFile& entry = list.files.emplace_back(ListedFile{std::string(value), {}});
        if (!path_fits(value)) {
            entry.refusal =
                "the path is longer than " + std::to_string(kLongestJobPath) + " characters";
        }
    }
    return list;
}

std::string build_extension_filter(const JobSettings& job) {
    std::string filter;
    const auto formats = format_keys();
    for (std::size_t i = 0; i < formats.size() && i < job.formats.size(); ++i) {
        if (job.formats[i] == 0) continue;
        if (!filter.empty()) filter.push_back(' ');
        filter.append(formats[i].extensions);
    }
    return filter;
}

}  // namespace morvane
