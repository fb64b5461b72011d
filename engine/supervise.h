#pragma once
// Supervised conversion: sources convert in a worker process with a time limit and
// memory and file-size limits, so a file that crashes or hangs a library, or asks for
// too much, is logged as not converted and the run goes on.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "convert_source.h"
#include "leftovers.h"
#include "link_wire.h"
#include "output_name.h"

namespace morvane {

// Converts one source to its output name (runs in the worker process).
using Handler = std::function<ConvertOutcome(const std::string& source, const OutputName& output)>;

// What a conversion reported. A worker that runs beside others also hands over the log
// text and window messages it kept, for the engine to write in source order.
struct SupervisedResult {
    ConvertOutcome outcome;
    std::string log_text;
    std::vector<LinkFrame> frames;
};

// A worker process that converts the sources it is given, one at a time. It is forked
// when the first source comes (so the libraries are initialised once, in the engine) and
// serves source after source; one that crashed, was killed or ran out of time is
// replaced by a fresh one for the next source, and every so many sources it is renewed
// so that nothing it holds can grow with the run. The time limit holds for each stretch
// between the worker's heartbeats (a document's page, a video's batch of frames); time
// spent waiting for the settings window does not count.
class SupervisedWorker {
  public:
    // With `captured` the worker keeps its log lines and messages instead of writing and
    // sending them.
    SupervisedWorker(RunContext& ctx, Handler handler, bool captured);
    ~SupervisedWorker();
    SupervisedWorker(const SupervisedWorker&) = delete;
    SupervisedWorker& operator=(const SupervisedWorker&) = delete;

    // Hands the worker a source. Without a worker process (fork failed) the conversion
    // runs here and is done at once.
    void begin(const std::string& source, const OutputName& output);
    [[nodiscard]] bool busy() const { return busy_; }
    // The pipe to poll for reading while busy.
    [[nodiscard]] int fd() const { return results_; }
    // Milliseconds until the deadline (0 when passed).
    [[nodiscard]] int milliseconds_left() const;
    // Stops the source's clock while the engine itself waits for the window, and starts
    // it again with the time that was left (calls may nest).
    void pause_clock();
    void resume_clock();
    // While a worker that talks to the window waits for it, its clock stands, but for no
    // longer than this (the link gives up on a window long before); tests shorten it.
    void limit_window_waits(std::chrono::milliseconds most) { window_wait_limit_ = most; }
    // Reads what the worker sent; true once the source is done, the worker has gone or
    // its time ran out.
    bool pump();
    // The source's result. A worker that crashed, was killed or ran out of time gives
    // result 0 and a reason such as "crashed (signal 11)" or "time limit of 300 s
    // exceeded"; what it left behind for the source is removed.
    SupervisedResult finish();

  private:
    bool start();
    int stop(bool kill);
    [[nodiscard]] bool complete() const;
    void restart_clock();
    void take_signal(char tag);

    RunContext& ctx_;
    Handler handler_;
    bool captured_;
    pid_t pid_ = -1;
    int requests_ = -1;
    int results_ = -1;
    unsigned served_ = 0;
    bool busy_ = false;
    bool gone_ = false;
    WorkPlaces places_;
    unsigned journal_entry_ = 0;
    bool result_started_ = false;
    std::string received_;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::duration left_{};  // while the clock stands
    unsigned clock_stops_ = 0;
    bool waiting_for_window_ = false;
    std::chrono::milliseconds window_wait_limit_;
    std::optional<SupervisedResult> inline_result_;
};

// Waits for the worker's source to end and gives its result.
SupervisedResult run_to_end(SupervisedWorker& worker);

// Runs `convert` supervised, alone, writing and sending as it goes, and returns its
// outcome. The log is flushed before and by the worker, so lines keep their order.
[[nodiscard]] ConvertOutcome supervised(RunContext& ctx, const std::string& source,
                                        const std::string& output,
                                        const std::function<ConvertOutcome()>& convert);

}  // namespace morvane
