#pragma once
// Supervised conversion: each source converts in a child process with a time limit and
// memory and file-size limits, so a file that crashes or hangs a library, or asks for
// too much, is logged as not converted and the run goes on.

#include <functional>
#include <string>

#include "convert_source.h"

namespace morvane {

// Runs `convert` in a child process under the job's limits and returns its outcome. The
// time limit holds for each stretch between the child's heartbeats (a document's page,
// a video's batch of frames). A child
// that crashes, is killed or runs out of time gives result 0 and a reason such as
// "crashed (signal 11)" or "time limit of 300 s exceeded"; what it left behind for the
// source is removed. The log is flushed before and by the child, so lines keep their
// order.
[[nodiscard]] ConvertOutcome supervised(RunContext& ctx, const std::string& source,
                                        const std::string& output,
                                        const std::function<ConvertOutcome()>& convert);

}  // namespace morvane
