#pragma once
// The writing side of the frame extractors: decoded frames turned into RGB, encoded as
// picture files by FFmpeg's own encoder for the kind and written as numbered files.

#include <string>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "frame_format.h"
#include "frame_source.h"

namespace morvane::frames {

// Writes the frames of one call as "<prefix><n><extension>", n from 0. A file is
// created fresh (never through a link), mode 0600, and a file cut short is removed.
class FrameWriter {
  public:
    FrameWriter(const FrameFormat& format, std::string prefix)
        : format_(format), prefix_(std::move(prefix)) {}
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;
    ~FrameWriter() { sws_freeContext(scaler_); }

    // Writes the frame as the next file: 0, or a negative kFrames... value.
    [[nodiscard]] int write(const AVFrame& frame);
    [[nodiscard]] int written() const { return written_; }
    // Removes every file this writer has written: a failed call leaves nothing behind.
    void remove_all();

  private:
    [[nodiscard]] std::string name(int n) const;
    [[nodiscard]] int prepare(int width, int height);
    [[nodiscard]] int encode(const AVFrame& frame);

    const FrameFormat& format_;
    std::string prefix_;
    int written_ = 0;
    CodecPtr encoder_;
    SwsContext* scaler_ = nullptr;
    FramePtr rgb_;
    PacketPtr packet_;
};

}  // namespace morvane::frames
