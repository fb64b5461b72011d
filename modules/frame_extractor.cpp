#include "frame_extractor.h"

#include <climits>
#include <memory>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "frame_files.h"
#include "path_util.h"
#include "temp_folder.h"
#include "video_frames.h"

namespace morvane::frames {

namespace {

// The video of the last call, kept open so that the next batch goes on from there.
std::unique_ptr<VideoReader> kept_video;

struct Range {
    long long first = 0;
    long long last = LLONG_MAX;
};

// -1 and -1 for all frames; a negative end alone is open.
Range range_of(int first, int last) {
    Range range;
    if (first >= 0) range.first = first;
    if (last >= 0) range.last = last;
    return range;
}

// The library's notes on damaged streams would land on the engine's standard error.
void quiet_library() {
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
}

// The kept video when it can go on to frame `first`, else the file opened afresh.
int video_at(const FrameFormat& format, const char* source, long long first) {
    if (kept_video && kept_video->reads(source) && kept_video->position() <= first) return 0;
    kept_video = std::make_unique<VideoReader>();
    return kept_video->open(source, format.demuxers);
}

// Decodes up to the end of the range, writing the frames inside it.
int write_range(VideoReader& video, FrameWriter& writer, const Range& range) {
    const FramePtr frame(av_frame_alloc());
    if (!frame) return kFramesDecodeFailed;
    while (video.position() <= range.last) {
        const int got = video.next(frame.get());
        if (got <= 0) return got < 0 ? got : writer.written();
        if (video.position() - 1 >= range.first) {
            const int status = writer.write(*frame);
            if (status < 0) return status;
        }
        av_frame_unref(frame.get());
        if (writer.written() == INT_MAX) break;
    }
    return writer.written();
}

}  // namespace

void release_video() {
    kept_video.reset();
}

namespace {

int extract_unguarded(const FrameFormat& format, const char* source, int first, int last) {
    if (source == nullptr) {
        release_video();
        return 0;
    }
    quiet_library();
    const Range range = range_of(first, last);
    if (range.first > range.last) return 0;
    const std::optional<std::string> folder = user_temp_folder();
    if (!folder) return kFramesNoTempFolder;
    const int opened = video_at(format, source, range.first);
    if (opened < 0) {
        release_video();
        return opened;
    }
    FrameWriter writer(format, join_path(*folder, split_path(source).name + "_"));
    const int written = write_range(*kept_video, writer, range);
    if (written < 0) {
        writer.remove_all();
        release_video();
    }
    return written;
}

}  // namespace

// Nothing may leave a module's C entry: a failure of any kind lets the video go.
int extract_frames(const FrameFormat& format, const char* source, int first, int last) noexcept {
    try {
        return extract_unguarded(format, source, first, last);
    } catch (...) {
        release_video();
        return kFramesDecodeFailed;
    }
}

long long frame_count(const FrameFormat& format, const char* source) noexcept {
    if (source == nullptr) return kFramesNotAVideo;
    try {
        quiet_library();
        return count_frames(source, format.demuxers);
    } catch (...) {
        return kFramesNotAVideo;
    }
}

}  // namespace morvane::frames
