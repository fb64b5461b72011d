#pragma once
// The JPEG encoder driven straight, for the plain format change: a JPEG file written to a
// descriptor with ImageMagick's settings.

#include <memory>

#include "plain_codecs.h"

namespace morvane::codec {

struct EncoderSettings {
    int quality = 75;  // 1 to 100
    bool progressive = false;
    bool optimize = true;  // Huffman tables made for the picture (always when progressive)
};

// A JPEG file written a band of rows at a time into an open descriptor.
class JpegWriter {
  public:
    explicit JpegWriter(int fd);
    ~JpegWriter();
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // `components` of the output (1 or 3) need not be the source's: a colour source
    // whose every pixel is gray is written gray.
    [[nodiscard]] bool start(const SourceInfo& source, int components,
                             const EncoderSettings& settings);
    [[nodiscard]] bool write_rows(const unsigned char* rows, unsigned count);
    [[nodiscard]] bool finish();
    // The errno of a failed write to the descriptor; 0 when the encoder itself failed.
    [[nodiscard]] int write_error() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace morvane::codec
