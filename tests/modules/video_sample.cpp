#include "video_sample.h"

#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace morvane::test {

namespace {

constexpr int kRound = 24;  // frames a round of red levels counts
constexpr int kStep = 10;
constexpr int kFirstRed = 20;
constexpr int kFirstGreen = 235;

struct Output {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* rgb = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;

    ~Output() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&picture);
        av_frame_free(&rgb);
        avcodec_free_context(&codec);
        if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
        avformat_free_context(format);
    }
};

AVCodecID codec_id(VideoCoding coding) {
    switch (coding) {
        case VideoCoding::Mpeg4:
            return AV_CODEC_ID_MPEG4;
        case VideoCoding::Mjpeg:
            return AV_CODEC_ID_MJPEG;
        case VideoCoding::RawVideo:
            return AV_CODEC_ID_RAWVIDEO;
        case VideoCoding::Mpeg1:
            return AV_CODEC_ID_MPEG1VIDEO;
        case VideoCoding::Mpeg2:
            return AV_CODEC_ID_MPEG2VIDEO;
    }
    return AV_CODEC_ID_NONE;
}

AVPixelFormat pixels(VideoCoding coding) {
    if (coding == VideoCoding::Mjpeg) return AV_PIX_FMT_YUVJ420P;
    if (coding == VideoCoding::RawVideo) return AV_PIX_FMT_BGR24;
    return AV_PIX_FMT_YUV420P;
}

bool open_encoder(Output& out, const VideoSpec& spec) {
    const AVCodec* codec = avcodec_find_encoder(codec_id(spec.coding));
    if (codec == nullptr) return false;
    out.codec = avcodec_alloc_context3(codec);
    out.codec->width = spec.width;
    out.codec->height = spec.height;
    out.codec->pix_fmt = pixels(spec.coding);
    out.codec->time_base = AVRational{1, 25};
    out.codec->framerate = AVRational{25, 1};
    out.codec->gop_size = 6;
    out.codec->max_b_frames = spec.b_frames;
    // Fine quantisation: a flat colour comes back within a level or two.
    out.codec->flags |= AV_CODEC_FLAG_QSCALE;
    out.codec->global_quality = FF_QP2LAMBDA * 2;
    if ((out.format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        out.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(out.codec, codec, nullptr) < 0) return false;
    out.stream = avformat_new_stream(out.format, nullptr);
    if (out.stream == nullptr) return false;
    out.stream->time_base = out.codec->time_base;
    return avcodec_parameters_from_context(out.stream->codecpar, out.codec) >= 0;
}

bool make_frames(Output& out, const VideoSpec& spec) {
    out.rgb = av_frame_alloc();
    out.picture = av_frame_alloc();
    out.packet = av_packet_alloc();
    out.rgb->format = AV_PIX_FMT_RGB24;
    out.picture->format = out.codec->pix_fmt;
    for (AVFrame* frame : {out.rgb, out.picture}) {
        frame->width = spec.width;
        frame->height = spec.height;
        if (av_frame_get_buffer(frame, 0) < 0) return false;
    }
    out.scaler = sws_getContext(spec.width, spec.height, AV_PIX_FMT_RGB24, spec.width, spec.height,
                                out.codec->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
    return out.scaler != nullptr;
}

// Sends a frame (null: the end) and writes every packet the encoder gives back.
bool encode(Output& out, AVFrame* frame) {
    if (avcodec_send_frame(out.codec, frame) < 0) return false;
    for (;;) {
        const int got = avcodec_receive_packet(out.codec, out.packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        av_packet_rescale_ts(out.packet, out.codec->time_base, out.stream->time_base);
        out.packet->stream_index = out.stream->index;
        if (av_interleaved_write_frame(out.format, out.packet) < 0) return false;
    }
}

bool write_frame(Output& out, const VideoSpec& spec, int n) {
    if (av_frame_make_writable(out.rgb) < 0 || av_frame_make_writable(out.picture) < 0) {
        return false;
    }
    const FrameColour colour = frame_colour(n + spec.colour_offset);
    for (int y = 0; y < spec.height; ++y) {
        std::uint8_t* row = out.rgb->data[0] + y * out.rgb->linesize[0];
        for (int x = 0; x < spec.width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(colour.red);
            row[3 * x + 1] = static_cast<std::uint8_t>(colour.green);
            row[3 * x + 2] = static_cast<std::uint8_t>(colour.blue);
        }
    }
    sws_scale(out.scaler, out.rgb->data, out.rgb->linesize, 0, spec.height, out.picture->data,
              out.picture->linesize);
    out.picture->pts = n;
    return encode(out, out.picture);
}

}  // namespace

FrameColour frame_colour(int n) {
    return {kFirstRed + kStep * (n % kRound), kFirstGreen - kStep * (n / kRound), 100};
}

int frame_for_colour(double red, double green) {
    const long step = std::lround((red - kFirstRed) / kStep);
    const long round = std::lround((kFirstGreen - green) / kStep);
    return static_cast<int>(round * kRound + step);
}

bool write_video(const std::string& path, const VideoSpec& spec) {
    av_log_set_level(AV_LOG_ERROR);
    Output out;
    if (avformat_alloc_output_context2(&out.format, nullptr, spec.container.c_str(), path.c_str()) <
        0) {
        return false;
    }
    if (!open_encoder(out, spec) || !make_frames(out, spec)) return false;
    if (avio_open(&out.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    if (avformat_write_header(out.format, nullptr) < 0) return false;
    for (int n = 0; n < spec.frames; ++n) {
        if (!write_frame(out, spec, n)) return false;
    }
    return encode(out, nullptr) && av_write_trailer(out.format) == 0;
}

}  // namespace morvane::test
