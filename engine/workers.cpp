#include "workers.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <poll.h>

#include "convert_source.h"
#include "dispatch.h"
#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "path_util.h"

namespace morvane {

struct Workers::Entry {
    std::string source;
    OutputName output;
    std::function<void()> after;
    bool announce = true;
    bool alone = false;  // converts with no other beside it
    std::string output_folder;
    std::string output_stem;
    SupervisedWorker* worker = nullptr;  // while it converts
    bool started = false;
    std::optional<SupervisedResult> result;
};

namespace {

// Documents and videos fill the temporary folder with page and frame files named after
// the source, and the image watermark works through tmp.jpg: such a source converts
// alone.
bool converts_alone(const JobSettings& job, const std::string& source) {
    if (job.watermark_mode == 2) return true;
    switch (route_for_extension(split_path(source).ext)) {
        case Route::Pdf:
        case Route::PostScript:
        case Route::Avi:
        case Route::Mpeg:
            return true;
        default:
            return false;
    }
}

bool starts_with(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

// The clocks of the sources converting beside stand while the engine writes and sends
// another source's report: the window's answers are not their time, and one whose
// report does not fit its pipe cannot go on until the engine reads it.
class ClocksStopped {
  public:
    explicit ClocksStopped(const std::vector<std::unique_ptr<SupervisedWorker>>& slots) {
        for (const auto& slot : slots) {
            if (!slot->busy()) continue;
            slot->pause_clock();
            stopped_.push_back(slot.get());
        }
    }
    ~ClocksStopped() {
        for (SupervisedWorker* worker : stopped_) worker->resume_clock();
    }
    ClocksStopped(const ClocksStopped&) = delete;
    ClocksStopped& operator=(const ClocksStopped&) = delete;

  private:
    std::vector<SupervisedWorker*> stopped_;
};

}  // namespace

namespace {

Handler converter(RunContext& ctx) {
    return [&ctx](const std::string& source, const OutputName& output) {
        return convert_source(ctx, source, output);
    };
}

}  // namespace

Workers::Workers(RunContext& ctx, StopRequest stop)
    : ctx_(ctx),
      stop_(stop),
      count_(static_cast<unsigned>(std::max(ctx.job.workers, 1))),
      direct_(ctx, converter(ctx), false) {
    if (count_ == 1) return;
    for (unsigned i = 0; i < count_; ++i) {
        slots_.push_back(std::make_unique<SupervisedWorker>(ctx, converter(ctx), true));
    }
}

Workers::~Workers() {
    finish();
}

void Workers::hand_on(const std::string& source, bool announce, std::function<void()> after) {
    if (count_ == 1) {  // one at a time: everything is written and sent as it happens
        if (announce) ctx_.link.announce_file(source);
        convert_directly(source);
        if (after) after();
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->source = source;
    entry->output = output_name_for(ctx_.job, source);
    entry->after = std::move(after);
    entry->announce = announce;
    entry->alone = converts_alone(ctx_.job, source);
    const PathParts out = split_path(entry->output.path);
    entry->output_folder = out.folder;
    entry->output_stem = split_path(source).name;
    enqueue(std::move(entry));
}

void Workers::refuse(const std::string& source, const std::string& reason) {
    const ConvertOutcome refused{kNotConverted, reason};
    if (count_ == 1) {
        log_result(ctx_.log, source, refused, true);
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->source = source;
    entry->announce = false;
    entry->started = true;  // its result is known: it waits only for its turn in the log
    entry->result = SupervisedResult{refused, {}, {}};
    enqueue(std::move(entry));
}

void Workers::enqueue(std::unique_ptr<Entry> entry) {
    queue_.push_back(std::move(entry));
    // The results waiting to be written stay few, so memory does not grow with the run.
    while (queue_.size() > 2 * count_) {
        start_what_can_start();
        wait_for_one();
        write_finished();
    }
    start_what_can_start();
}

void Workers::finish() {
    while (!queue_.empty()) {
        start_what_can_start();
        wait_for_one();
        write_finished();
    }
}

// Two sources whose outputs could share a name (one output stem begins the other's, in
// the same folder) or that move to the same name never convert at the same time, so
// the overwrite rule decides exactly as it would one after the other.
bool Workers::can_start(const Entry& entry) const {
    unsigned running = 0;
    for (const auto& other : queue_) {
        if (other.get() == &entry) break;
        if (!other->started) return false;  // sources start in order
        if (other->result) continue;
        ++running;
        if (other->alone || entry.alone) return false;
        const bool shared_name = other->output_folder == entry.output_folder &&
                                 (starts_with(other->output_stem, entry.output_stem) ||
                                  starts_with(entry.output_stem, other->output_stem));
        const bool shared_move = ctx_.job.move != 0 &&
                                 split_path(other->source).name == split_path(entry.source).name &&
                                 split_path(other->source).ext == split_path(entry.source).ext;
        if (shared_name || shared_move) return false;
    }
    return running < count_;
}

void Workers::start_what_can_start() {
    for (auto& entry : queue_) {
        if (entry->started) continue;
        // A source that converts alone waits until it is first in line.
        if (entry->alone || !can_start(*entry)) return;
        const auto free = std::find_if(slots_.begin(), slots_.end(),
                                       [](const auto& slot) { return !slot->busy(); });
        if (free == slots_.end()) return;
        create_file_folders(entry->output.path);
        entry->worker = free->get();
        entry->started = true;
        entry->worker->begin(entry->source, entry->output);
    }
}

// Waits until a converting source has ended (or its time ran out) and takes its result.
void Workers::wait_for_one() {
    std::vector<pollfd> ready;
    std::vector<Entry*> owners;
    int timeout = -1;
    for (auto& entry : queue_) {
        if (!entry->started || entry->result) continue;
        ready.push_back({entry->worker->fd(), POLLIN, 0});
        owners.push_back(entry.get());
        const int left = entry->worker->milliseconds_left();
        timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    if (ready.empty()) return;
    const bool waiting =
        std::none_of(ready.begin(), ready.end(), [](const pollfd& p) { return p.fd < 0; });
    const int polled = waiting ? ::poll(ready.data(), ready.size(), timeout) : 0;
    if (polled < 0 && errno == EINTR) return;
    for (std::size_t i = 0; i < ready.size(); ++i) {
        Entry& entry = *owners[i];
        const bool ended = (ready[i].fd < 0 || ready[i].revents != 0) && entry.worker->pump();
        if (ended || entry.worker->milliseconds_left() == 0) {
            entry.result = entry.worker->finish();
            entry.worker = nullptr;
        }
    }
}

void Workers::write_finished() {
    while (!queue_.empty()) {
        Entry& head = *queue_.front();
        if (!head.started && head.alone && can_start(head)) {
            // Alone and first in line: it converts here, writing and sending as it goes.
            write_entry(head);
        } else if (head.result) {
            write_entry(head);
        } else {
            return;
        }
        queue_.pop_front();
    }
}

void Workers::write_entry(Entry& entry) {
    const ClocksStopped stopped(slots_);
    if (entry.announce) ctx_.link.announce_file(entry.source);
    if (!entry.result) {
        convert_directly(entry.source);
    } else {
        for (const LinkFrame& f : entry.result->frames) {
            (void)ctx_.link.send_message(f.message, f.wparam, f.lparam, f.text);
        }
        ctx_.log.write(entry.result->log_text);
        log_result(ctx_.log, entry.source, entry.result->outcome, true);
    }
    if (entry.after) entry.after();
}

void Workers::convert_directly(const std::string& source) {
    const OutputName output = output_name_for(ctx_.job, source);
    create_file_folders(output.path);
    direct_.begin(source, output);
    log_result(ctx_.log, source, run_to_end(direct_).outcome, true);
}

}  // namespace morvane
