#include "frame_files.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "fd_io.h"
#include "video_frames.h"

namespace morvane::frames {

namespace {

// Writes a whole file under a fresh name; nothing is left when it fails.
bool write_file(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
    // A frame file of an earlier run that stopped half-way gives way; a link is removed,
    // never followed.
    (void)::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = write_all(fd, bytes, size);
    if (::close(fd) == 0 && written) return true;
    (void)::unlink(path.c_str());
    return false;
}

// FFmpeg's encoder and the RGB layout it takes for each kind of frame file.
AVCodecID encoder_of(FrameFile file) {
    return file == FrameFile::Bitmap ? AV_CODEC_ID_BMP : AV_CODEC_ID_PPM;
}

AVPixelFormat pixels_of(FrameFile file) {
    return file == FrameFile::Bitmap ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24;
}

}  // namespace

std::string FrameWriter::name(int n) const {
    return prefix_ + std::to_string(n) + format_.extension;
}

// The encoder and the RGB picture for frames of this size, made again when it changes.
int FrameWriter::prepare(int width, int height) {
    if (encoder_ && encoder_->width == width && encoder_->height == height) return 0;
    encoder_.reset();
    rgb_.reset();
    const AVCodec* codec = avcodec_find_encoder(encoder_of(format_.file));
    if (codec == nullptr) return kFramesCannotEncode;
    encoder_.reset(avcodec_alloc_context3(codec));
    rgb_.reset(av_frame_alloc());
    if (!packet_) packet_.reset(av_packet_alloc());
    if (!encoder_ || !rgb_ || !packet_) return kFramesCannotEncode;
    encoder_->width = width;
    encoder_->height = height;
    encoder_->pix_fmt = pixels_of(format_.file);
    encoder_->time_base = AVRational{1, 25};  // required, unused by picture encoders
    if (avcodec_open2(encoder_.get(), codec, nullptr) < 0) {
        encoder_.reset();
        return kFramesCannotEncode;
    }
    rgb_->format = pixels_of(format_.file);
    rgb_->width = width;
    rgb_->height = height;
    if (av_frame_get_buffer(rgb_.get(), 0) < 0) {
        encoder_.reset();
        return kFramesCannotEncode;
    }
    return 0;
}

// Converts the frame to RGB and encodes it into `packet_`.
int FrameWriter::encode(const AVFrame& frame) {
    const auto source_format = static_cast<AVPixelFormat>(frame.format);
    scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, source_format, frame.width,
                                   frame.height, pixels_of(format_.file), SWS_BILINEAR, nullptr,
                                   nullptr, nullptr);
    if (scaler_ == nullptr || av_frame_make_writable(rgb_.get()) < 0) return kFramesCannotEncode;
    if (sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, rgb_->data,
                  rgb_->linesize) != frame.height) {
        return kFramesCannotEncode;
    }
    if (avcodec_send_frame(encoder_.get(), rgb_.get()) < 0) return kFramesCannotEncode;
    if (avcodec_receive_packet(encoder_.get(), packet_.get()) < 0) return kFramesCannotEncode;
    return 0;
}

int FrameWriter::write(const AVFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) return kFramesCannotEncode;
    const int prepared = prepare(frame.width, frame.height);
    if (prepared < 0) return prepared;
    const int encoded = encode(frame);
    if (encoded < 0) return encoded;
    const bool stored =
        write_file(name(written_), packet_->data, static_cast<std::size_t>(packet_->size));
    av_packet_unref(packet_.get());
    if (!stored) return kFramesCannotWrite;
    ++written_;
    return 0;
}

void FrameWriter::remove_all() {
    for (int n = 0; n < written_; ++n) (void)::unlink(name(n).c_str());
    written_ = 0;
}

}  // namespace morvane::frames
