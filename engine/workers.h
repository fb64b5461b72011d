#pragma once
// The sources a walk hands on, converted one after the other or several at once in
// supervised child processes; either way the log lines, moves and window messages come
// out in the order the sources were handed on, exactly as one at a time would give them.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output_name.h"
#include "run_context.h"
#include "stop_request.h"
#include "supervise.h"

namespace morvane {

class Workers {
  public:
    // As many at once as the job's `workers` asks. The walks hand on no new source once
    // `stop` is asked; the sources handed on before are converted all the same.
    explicit Workers(RunContext& ctx, StopRequest stop = {});
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Converts the source, announcing it to the window first when `announce` says so;
    // `after` runs once its result line is written (the flat walk's closing messages).
    void hand_on(const std::string& source, bool announce, std::function<void()> after = {});
    // Logs the source as not converted, with `reason`, in its place among the others;
    // it is never converted.
    void refuse(const std::string& source, const std::string& reason);
    // Waits for every source handed on and writes what is left.
    void finish();
    // The user asked the run to stop: hand on nothing more.
    [[nodiscard]] bool stopped() const { return stop_.asked(); }

  private:
    struct Entry;

    void enqueue(std::unique_ptr<Entry> entry);
    void start_what_can_start();
    [[nodiscard]] bool can_start(const Entry& entry) const;
    void wait_for_one();
    void write_finished();
    void write_entry(Entry& entry);
    void convert_directly(const std::string& source);

    RunContext& ctx_;
    StopRequest stop_;
    unsigned count_;
    // Writes and sends as it goes: every source of a one-worker run, and the sources that
    // convert alone beside none.
    SupervisedWorker direct_;
    // The workers that convert beside each other and keep what they say for the engine.
    std::vector<std::unique_ptr<SupervisedWorker>> slots_;
    std::deque<std::unique_ptr<Entry>> queue_;  // in the order handed on
};

}  // namespace morvane
