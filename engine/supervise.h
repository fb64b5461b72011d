#pragma once
// Supervised conversion: each source converts in a child process with a time limit and
// memory and file-size limits, so a file that crashes or hangs a library, or asks for
// too much, is logged as not converted and the run goes on.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "convert_source.h"
#include "leftovers.h"
#include "link_wire.h"

namespace morvane {

using Conversion = std::function<ConvertOutcome()>;

// What a conversion reported. A conversion that ran beside others also hands over the
// log text and window messages it kept, for the engine to write in source order.
struct SupervisedResult {
    ConvertOutcome outcome;
    std::string log_text;
    std::vector<LinkFrame> frames;
};

// One conversion running in its child process. The time limit holds for each stretch
// between the child's heartbeats (a document's page, a video's batch of frames).
class SupervisedChild {
  public:
    // Starts `convert` in a child; with `captured` the child keeps its log lines and
    // messages instead of writing and sending them. Without a child (fork failed) the
    // conversion runs here and is done at once.
    SupervisedChild(RunContext& ctx, WorkPlaces places, const Conversion& convert, bool captured);
    ~SupervisedChild();
    SupervisedChild(const SupervisedChild&) = delete;
    SupervisedChild& operator=(const SupervisedChild&) = delete;

    // The pipe to poll for reading; -1 once everything was read.
    [[nodiscard]] int fd() const { return fd_; }
    // Milliseconds until the deadline (0 when passed).
    [[nodiscard]] int milliseconds_left() const;
    // Reads what the child sent; true once it finished or its time ran out.
    bool pump();
    [[nodiscard]] bool done() const { return fd_ < 0; }
    // Waits for the child and gives its result. A child that crashed, was killed or ran
    // out of time gives result 0 and a reason such as "crashed (signal 11)" or "time limit
    // of 300 s exceeded"; what it left behind for the source is removed.
    SupervisedResult finish();

  private:
    RunContext& ctx_;
    WorkPlaces places_;
    bool captured_;
    unsigned journal_entry_ = 0;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool timed_out_ = false;
    bool result_started_ = false;
    std::string received_;
    std::chrono::steady_clock::time_point deadline_;
    SupervisedResult inline_result_;
};

// Runs `convert` supervised, alone, writing and sending as it goes, and returns its
// outcome. The log is flushed before and by the child, so lines keep their order.
[[nodiscard]] ConvertOutcome supervised(RunContext& ctx, const std::string& source,
                                        const std::string& output, const Conversion& convert);

}  // namespace morvane
