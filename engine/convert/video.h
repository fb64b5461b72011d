#pragma once
// Video sources: a frame extractor module (Tdib.so for AVI, Tmpegd.so for MPEG) writes
// a batch of frames into the temporary folder, each frame file becomes a JPEG through
// the raster option walk and is removed at once, then the next batch follows. The
// outputs are "<base>_<n>.jpg" beside the given output name, n counting from 0 from
// the first frame extracted.

#include <string>

#include "convert_source.h"
#include "outcome.h"

namespace morvane {

// Frames asked of the extractor per call. The temporary folder holds at most one batch
// of full-size frame files at a time, however long the video.
inline constexpr int kFrameBatch = 256;

enum class VideoKind { Avi, Mpeg };

// convert_avi and convert_mpeg, with the batch size open for tests.
[[nodiscard]] Outcome convert_video(RunContext& ctx, const std::string& source,
                                    const OutputName& output, VideoKind kind,
                                    int batch = kFrameBatch);

// The progress position after `done` of `total` frames: a percentage, 0 to 100; 0 while
// the total is not known.
[[nodiscard]] int frame_progress(long long done, long long total);

}  // namespace morvane
