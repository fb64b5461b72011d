#pragma once
// Videos made at test time with FFmpeg's encoders: every frame one flat colour that
// tells its number, so a frame file read back says which frame it holds.

#include <string>

namespace morvane::test {

enum class VideoCoding { Mpeg4, Mjpeg, RawVideo, Mpeg1, Mpeg2 };

struct VideoSpec {
    // FFmpeg's muxer: "avi", "mpeg" (program stream), "mpeg1video" or "mpeg2video" (a
    // bare video stream).
    std::string container = "avi";
    VideoCoding coding = VideoCoding::Mpeg4;
    int frames = 12;
    int width = 64;
    int height = 48;
    // Pictures stored ahead of the ones shown before them (decoding order differs from
    // presentation order).
    int b_frames = 0;
    int colour_offset = 0;  // frame n shows the colour of frame n + colour_offset
};

// Writes the video; false when FFmpeg could not.
[[nodiscard]] bool write_video(const std::string& path, const VideoSpec& spec = {});

// The colour of frame n (0..255 a channel): red counts the frame in steps of 10 from 20,
// green the rounds of 24 frames down from 235, blue is 100. Steps of 10 survive lossy
// video and JPEG coding.
struct FrameColour {
    int red, green, blue;
};
[[nodiscard]] FrameColour frame_colour(int n);

// The frame number whose colour is nearest to the red and green levels (0..255).
[[nodiscard]] int frame_for_colour(double red, double green);

}  // namespace morvane::test
