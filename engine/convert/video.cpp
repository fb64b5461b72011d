#include "video.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "converters.h"
#include "job_settings.h"
#include "log_file.h"
#include "modules.h"
#include "monitor_link.h"
#include "output_files.h"
#include "path_util.h"
#include "raster.h"
#include "tdib.h"
#include "temp_folder.h"
#include "tmpegd.h"

namespace morvane {

namespace {

// What differs between the two kinds of video.
struct VideoType {
    const char* what;  // for reasons: "the AVI frame extractor module Tdib.so ..."
    const char* module;
    const char* entry;
    const char* count_entry;
    const char* extension;  // of the frame files
    bool image_watermark;   // the job's image watermark goes on the frames
    FrameRange JobSettings::*range;
};

const VideoType kAvi{"AVI",  kTdibModule, kTdibEntry,       kTdibCountEntry,
                     ".bmp", true,        &JobSettings::avi};
const VideoType kMpeg{"MPEG", kTmpegdModule, kTmpegdEntry,      kTmpegdCountEntry,
                      ".ppm", false,         &JobSettings::mpeg};

// The frames asked for, counted from 0 over the whole video; `last` -1: to the end.
struct FrameSpan {
    long long first = 0;
    long long last = -1;
    bool ranged = false;  // a range of the job rather than every frame
};

// One video on its way: the extractor, the names and what has been done so far.
struct Video {
    Video(RunContext& context, const VideoType& kind, const std::string& path)
        : ctx(context), type(kind), source(path) {}

    RunContext& ctx;
    const VideoType& type;
    const std::string& source;
    frame_extractor_fn extract = nullptr;
    frame_count_fn count = nullptr;
    std::string frame_prefix;  // temporary folder and base name, "_"
    OutputName outputs;        // in the folder of the given output
    FrameSpan span;
    long long total = 0;  // frames expected, for progress; 0 when not known
    long long done = 0;   // frames handled, and the number of the next output
    long long existed = 0;
};

// The kept video of the module is let go on every way out.
class ExtractorSession {
  public:
    explicit ExtractorSession(frame_extractor_fn extract) : extract_(extract) {}
    ExtractorSession(const ExtractorSession&) = delete;
    ExtractorSession& operator=(const ExtractorSession&) = delete;
    ~ExtractorSession() { (void)extract_(nullptr, nullptr, -1, -1); }

  private:
    frame_extractor_fn extract_;
};

// The frame files of one batch; those still there when it goes are removed, whatever
// ended the batch.
class FrameFiles {
  public:
    FrameFiles(const Video& video, int count) {
        for (int n = 0; n < count; ++n) {
            names_.push_back(video.frame_prefix + std::to_string(n) + video.type.extension);
        }
    }
    FrameFiles(const FrameFiles&) = delete;
    FrameFiles& operator=(const FrameFiles&) = delete;
    ~FrameFiles() {
        for (const std::string& name : names_) (void)::unlink(name.c_str());
    }
    [[nodiscard]] const std::vector<std::string>& names() const { return names_; }

  private:
    std::vector<std::string> names_;
};

FrameSpan frames_asked(const FrameRange& range) {
    if (range.extract_all != 0) return {};
    return {std::max(range.from, 0), range.to < 0 ? -1 : range.to,
            range.from >= 0 || range.to >= 0};
}

bool find_extractor(Video& v, std::string& reason) {
    std::string error = "no module folder is known to this run";
    ModuleLoader* modules = v.ctx.modules;
    void* extract =
        modules != nullptr ? modules->entry(v.type.module, v.type.entry, error) : nullptr;
    void* count =
        extract != nullptr ? modules->entry(v.type.module, v.type.count_entry, error) : nullptr;
    if (count == nullptr) {
        reason = std::string("the ") + v.type.what + " frame extractor module " + v.type.module +
                 " cannot be loaded: " + error;
        return false;
    }
    v.extract = reinterpret_cast<frame_extractor_fn>(extract);
    v.count = reinterpret_cast<frame_count_fn>(count);
    return true;
}

// The names of the frame files and of the outputs; false when no temporary folder.
bool name_files(Video& v, const OutputName& output) {
    std::string folder = v.ctx.temp.folder;
    if (folder.empty()) folder = user_temp_folder().value_or("");
    if (folder.empty()) return false;
    const std::string base = split_path(v.source).name + "_";
    v.frame_prefix = join_path(folder, base);
    v.outputs = video_frame_outputs(split_path(output.path).folder, split_path(v.source).name);
    return true;
}

// The frames the video is expected to give, from its container and the range; only
// asked for when someone watches the progress.
long long expected_frames(const Video& v) {
    if (!v.ctx.link.connected()) return 0;
    const long long in_video = v.count(v.source.c_str());
    long long total = in_video > v.span.first ? in_video - v.span.first : 0;
    if (v.span.last >= 0) {
        const long long asked = v.span.last - v.span.first + 1;
        total = total > 0 ? std::min(total, asked) : asked;
    }
    return total;
}

std::string extractor_failure(const Video& v, int status) {
    switch (status) {
        case kFramesNotAVideo:
            return std::string("the file cannot be opened as an ") + v.type.what + " video";
        case kFramesNoDecoder:
            return "the video is coded in a way that cannot be decoded";
        case kFramesDecodeFailed:
            return "the video cannot be decoded";
        case kFramesNoTempFolder:
            return "the temporary folder cannot be used";
        case kFramesCannotWrite:
            return "a frame file cannot be written into the temporary folder";
        case kFramesCannotEncode:
            return "a frame cannot be turned into a picture file";
        case 0:
            if (v.span.ranged) {
                return "the video holds no frame from number " + std::to_string(v.span.first) +
                       (v.span.last >= 0 ? " to " + std::to_string(v.span.last) : std::string());
            }
            return "the video holds no frame that can be decoded";
        default:
            return "the frame extractor failed (" + std::to_string(status) + ")";
    }
}

// One frame file to its output; the file is removed whatever happened. Nothing when the
// video goes on, the outcome of the video when it stops here.
std::optional<Outcome> convert_frame(Video& v, const std::string& frame_file) {
    v.ctx.link.status("Reading...");
    const std::string output = v.outputs.for_number(static_cast<unsigned>(v.done));
    Outcome picture = convert_picture(v.ctx, frame_file, output, v.type.image_watermark);
    (void)::unlink(frame_file.c_str());
    if (picture.result == Result::Kept) ++v.existed;
    if (!picture.done() && picture.result != Result::Kept) return picture;
    ++v.done;
    v.ctx.link.progress(frame_progress(v.done, v.total));
    return std::nullopt;
}

// The last frame of the batch that starts at `first`.
long long batch_end(const Video& v, long long first, int batch) {
    long long last = first + batch - 1;
    if (v.span.last >= 0) last = std::min(last, v.span.last);
    return std::min<long long>(last, INT_MAX);
}

// Extracts and converts batch after batch until the span or the video ends.
std::optional<Outcome> convert_batches(Video& v, int batch) {
    const ExtractorSession session(v.extract);
    for (long long first = v.span.first; first <= INT_MAX;) {
        const long long last = batch_end(v, first, batch);
        const int count =
            v.extract(nullptr, v.source.c_str(), static_cast<int>(first), static_cast<int>(last));
        if (count < 0 || (count == 0 && v.done == 0)) {
            return Outcome{Result::Unreadable, extractor_failure(v, count)};
        }
        const FrameFiles files(v, count);
        for (const std::string& frame_file : files.names()) {
            if (auto stop = convert_frame(v, frame_file)) return stop;
        }
        v.ctx.heartbeat.beat();  // a long video gets its time limit per batch
        if (count < last - first + 1 || last == v.span.last) break;
        first = last + 1;
    }
    return std::nullopt;
}

}  // namespace

int frame_progress(long long done, long long total) {
    if (total <= 0 || done <= 0) return 0;
    return static_cast<int>(std::min<long long>(done, total) * 100 / total);
}

Outcome convert_video(RunContext& ctx, const std::string& source, const OutputName& output,
                      VideoKind kind, int batch) {
    Video v(ctx, kind == VideoKind::Avi ? kAvi : kMpeg, source);
    v.span = frames_asked(ctx.job.*v.type.range);
    if (v.span.last >= 0 && v.span.first > v.span.last) {
        return {Result::Refused, "the frame range from " + std::to_string(v.span.first) + " to " +
                                     std::to_string(v.span.last) + " holds no frame"};
    }
    std::string reason;
    if (!find_extractor(v, reason)) return {Result::Failed, reason};
    if (!name_files(v, output)) return {Result::Failed, "the temporary folder cannot be used"};
    ctx.link.progress(0);
    v.total = expected_frames(v);
    if (auto stop = convert_batches(v, std::max(batch, 1))) return std::move(*stop);
    if (ctx.link.connected()) {
        ctx.link.progress(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Every frame counted done was written or kept.
    return outputs_outcome(static_cast<std::size_t>(v.done - v.existed),
                           static_cast<std::size_t>(v.existed), static_cast<std::size_t>(v.done),
                           {Result::Written, {}});
}

Outcome convert_avi(RunContext& ctx, const std::string& source, const OutputName& output) {
    return convert_video(ctx, source, output, VideoKind::Avi);
}

Outcome convert_mpeg(RunContext& ctx, const std::string& source, const OutputName& output) {
    return convert_video(ctx, source, output, VideoKind::Mpeg);
}

}  // namespace morvane
