#pragma once
// The reading side of the frame extractors: a video file demuxed and decoded frame
// after frame through FFmpeg, and the frame count of a video.

#include <memory>
#include <string>

#include <sys/types.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace morvane::frames {

struct FormatCloser {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

// Opens a local file with one of the named demuxers (a comma-separated list) and reads
// its stream information; null when it is not such a file. The name is taken
// literally: no protocol prefix or other file is ever followed.
[[nodiscard]] FormatPtr open_container(const char* path, const char* demuxers);

// The index of the first video stream that is not a cover picture, or -1.
[[nodiscard]] int first_video_stream(const AVFormatContext& format);

// How many frames the video holds (see video_frames.h), or a negative kFrames... value.
[[nodiscard]] long long count_frames(const char* path, const char* demuxers);

// One video decoded frame after frame, in presentation order.
class VideoReader {
  public:
    // 0, or a negative kFrames... value.
    [[nodiscard]] int open(const char* path, const char* demuxers);
    // True when `path` is the name this reader opened and the file has not changed since.
    [[nodiscard]] bool reads(const char* path) const;
    // The next frame into `frame`: 1, 0 after the last one, or a negative kFrames... value.
    [[nodiscard]] int next(AVFrame* frame);
    // The number of the next frame (the frames given so far).
    [[nodiscard]] long long position() const { return position_; }

  private:
    // The identity of the file opened, to notice a file replaced or rewritten.
    struct FileId {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modified_ns = 0;
        bool operator==(const FileId&) const = default;
    };
    [[nodiscard]] static bool identify(const char* path, FileId& id);
    [[nodiscard]] int feed();

    std::string path_;
    FileId id_;
    FormatPtr format_;
    CodecPtr decoder_;
    PacketPtr packet_;
    int stream_ = -1;
    long long position_ = 0;
    int damaged_ = 0;  // damaged packets in a row
};

}  // namespace morvane::frames
