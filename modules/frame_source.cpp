#include "frame_source.h"

#include <string>

#include <sys/stat.h>

#include "video_frames.h"

namespace morvane::frames {

namespace {

// Past this many damaged packets in a row the stream is taken as unreadable.
constexpr int kMaxDamagedInARow = 1000;

// Counts the packets of the stream by reading the file through, without decoding.
long long count_packets(AVFormatContext& format, int stream) {
    const PacketPtr packet(av_packet_alloc());
    if (!packet) return 0;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        if (static_cast<int>(i) != stream) format.streams[i]->discard = AVDISCARD_ALL;
    }
    long long count = 0;
    while (av_read_frame(&format, packet.get()) >= 0) {
        if (packet->stream_index == stream) ++count;
        av_packet_unref(packet.get());
    }
    return count;
}

}  // namespace

FormatPtr open_container(const char* path, const char* demuxers) {
    // "file:" keeps a name such as "http:x.avi" or "a|b.avi" a plain file name.
    const std::string url = std::string("file:") + path;
    AVDictionary* options = nullptr;
    // Only local files, and only the demuxers of this kind of video: a playlist or a
    // concatenation list would open files the caller never named.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", demuxers, 0);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return nullptr;  // the library has freed the context
    FormatPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) return nullptr;
    return format;
}

int first_video_stream(const AVFormatContext& format) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream* stream = format.streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) continue;
        return static_cast<int>(i);
    }
    return -1;
}

long long count_frames(const char* path, const char* demuxers) {
    const FormatPtr format = open_container(path, demuxers);
    if (!format) return kFramesNotAVideo;
    const int index = first_video_stream(*format);
    if (index < 0) return kFramesNotAVideo;
    AVStream* stream = format->streams[index];
    if (stream->nb_frames > 0) return stream->nb_frames;
    // A duration times the frame rate can be far off (a short program stream, a bare
    // stream timed by its bit rate); the packets, one picture each, are not.
    return count_packets(*format, index);
}

bool VideoReader::identify(const char* path, FileId& id) {
    struct stat info {};
    if (::stat(path, &info) != 0) return false;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    id.size = info.st_size;
    id.modified_ns =
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return true;
}

int VideoReader::open(const char* path, const char* demuxers) {
    if (!identify(path, id_)) return kFramesNotAVideo;
    path_ = path;
    format_ = open_container(path, demuxers);
    if (!format_) return kFramesNotAVideo;
    stream_ = first_video_stream(*format_);
    if (stream_ < 0) return kFramesNotAVideo;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = format_->streams[stream_];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) return kFramesNoDecoder;
    decoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    if (!decoder_ || !packet_) return kFramesDecodeFailed;
    if (avcodec_parameters_to_context(decoder_.get(), stream->codecpar) < 0) {
        return kFramesNoDecoder;
    }
    decoder_->pkt_timebase = stream->time_base;
    decoder_->thread_count = 1;  // frames come out as soon as they are decoded
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0) return kFramesNoDecoder;
    position_ = 0;
    return 0;
}

bool VideoReader::reads(const char* path) const {
    FileId now;
    return format_ && path_ == path && identify(path, now) && now == id_;
}

// Hands the decoder the next packet of the stream, or the end of the stream.
int VideoReader::feed() {
    for (;;) {
        if (av_read_frame(format_.get(), packet_.get()) < 0) {
            // The end, or a file cut short: the frames read so far are all there are.
            const int sent = avcodec_send_packet(decoder_.get(), nullptr);
            return sent == 0 || sent == AVERROR_EOF ? 0 : kFramesDecodeFailed;
        }
        if (packet_->stream_index != stream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent == 0) return 0;
        // A damaged packet is passed over; the decoder resumes at the next good one.
        if (sent == AVERROR_INVALIDDATA && ++damaged_ < kMaxDamagedInARow) continue;
        return kFramesDecodeFailed;
    }
}

int VideoReader::next(AVFrame* frame) {
    for (;;) {
        const int got = avcodec_receive_frame(decoder_.get(), frame);
        if (got == 0) {
            damaged_ = 0;
            ++position_;
            return 1;
        }
        if (got == AVERROR_EOF) return 0;
        if (got == AVERROR_INVALIDDATA && ++damaged_ < kMaxDamagedInARow) continue;
        if (got != AVERROR(EAGAIN)) return kFramesDecodeFailed;
        const int fed = feed();
        if (fed < 0) return fed;
    }
}

}  // namespace morvane::frames
