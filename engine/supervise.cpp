#include "supervise.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fd_io.h"
#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "move_note.h"
#include "worker_folder.h"

namespace morvane {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer reserves more address space than any limit
#else
constexpr bool kSanitized = false;
#endif

// The child's messages on its pipe: 'H' (a heartbeat), 'W' and 'D' (a wait for the
// window starts and is done) any number of times, then 'R' and the result: i32 result,
// the reason, the kept log text, the kept window messages (as they go over the link).
constexpr char kHeartbeat = Heartbeat::kTag;
constexpr char kWaitStart = 'W';
constexpr char kWaitDone = 'D';
constexpr char kResult = 'R';

// The link gives up on a window that does not take a message within its answer limit,
// and on its answer after as long again; a worker still waiting after three times that
// hangs for a reason of its own.
std::chrono::milliseconds window_wait_limit() {
    return std::chrono::milliseconds{3LL * link_answer_limit_ms()};
}

using Clock = std::chrono::steady_clock;

// Lowers a limit; one the engine was started under is never raised.
void set_limit(int resource, long megabytes) {
    if (megabytes <= 0) return;
    const rlim_t bytes = static_cast<rlim_t>(megabytes) * 1024 * 1024;
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0) return;
    limit.rlim_cur = std::min(limit.rlim_cur, bytes);
    limit.rlim_max = std::min(limit.rlim_max, bytes);
    (void)::setrlimit(resource, &limit);
}

template <typename T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put_text(std::string& out, const std::string& text) {
    put(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

std::string encode_result(const SupervisedResult& r) {
    std::string payload;
    put(payload, static_cast<std::int32_t>(r.outcome.result));
    put_text(payload, r.outcome.reason);
    put_text(payload, r.log_text);
    put(payload, static_cast<std::uint32_t>(r.frames.size()));
    for (const LinkFrame& f : r.frames) payload += encode_frame(f);
    std::string out(1, kResult);
    put_text(out, payload);
    return out;
}

// Reads the fields of an encoded message in order; any shortfall makes it fail.
class Reader {
  public:
    Reader(const std::string& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
    template <typename T>
    bool get(T& value) {
        if (bytes_.size() - at_ < sizeof value) return false;
        std::memcpy(&value, bytes_.data() + at_, sizeof value);
        at_ += sizeof value;
        return true;
    }
    bool get_text(std::string& text) {
        std::uint32_t length = 0;
        if (!get(length) || bytes_.size() - at_ < length) return false;
        text.assign(bytes_, at_, length);
        at_ += length;
        return true;
    }
    bool get_frame(LinkFrame& frame) {
        std::size_t used = 0;
        const std::string_view rest = std::string_view(bytes_).substr(at_);
        if (decode_frame(rest, frame, used) != FrameTake::Taken) return false;
        at_ += used;
        return true;
    }

  private:
    const std::string& bytes_;
    std::size_t at_;
};

constexpr std::size_t kResultHead = 1 + sizeof(std::uint32_t);  // tag and length

bool decode_result(const std::string& bytes, SupervisedResult& r) {
    Reader in(bytes, kResultHead);
    std::int32_t result = 0;
    std::uint32_t frames = 0;
    if (!in.get(result) || !in.get_text(r.outcome.reason) || !in.get_text(r.log_text) ||
        !in.get(frames)) {
        return false;
    }
    r.outcome.result = result;
    for (std::uint32_t i = 0; i < frames; ++i) {
        LinkFrame f;
        if (!in.get_frame(f)) return false;
        r.frames.push_back(std::move(f));
    }
    return true;
}

// A request: the source and its output name.
std::string encode_request(const std::string& source, const OutputName& output) {
    std::string out;
    put_text(out, source);
    put_text(out, output.path);
    put(out, static_cast<std::uint64_t>(output.placeholder));
    put(out, static_cast<std::int32_t>(output.width));
    return out;
}

bool read_text(int fd, std::string& text) {
    std::uint32_t length = 0;
    if (!read_exactly(fd, &length, sizeof length)) return false;
    text.assign(length, '\0');
    return read_exactly(fd, text.data(), length);
}

bool read_request(int fd, std::string& source, OutputName& output) {
    std::uint64_t placeholder = 0;
    std::int32_t width = 0;
    if (!read_text(fd, source) || !read_text(fd, output.path) ||
        !read_exactly(fd, &placeholder, sizeof placeholder) ||
        !read_exactly(fd, &width, sizeof width)) {
        return false;
    }
    output.placeholder = static_cast<std::size_t>(placeholder);
    output.width = width;
    return true;
}

// Runs the conversion; with `captured` its log lines and messages are kept, not written.
SupervisedResult convert_here(RunContext& ctx, const std::function<ConvertOutcome()>& convert,
                              bool captured) {
    SupervisedResult r;
    if (captured) {
        ctx.log.capture(&r.log_text);
        ctx.link.record(&r.frames);
    }
    r.outcome = convert();
    if (captured) {
        ctx.log.capture(nullptr);
        ctx.link.record(nullptr);
    }
    return r;
}

// A worker keeps no other worker's pipe open: the engine learns that a worker has gone,
// and a worker that its pipe was closed, only when nobody else holds the other end.
// Standard input, output and error stay whatever they are.
void close_other_pipes(int keep_a, int keep_b) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return;
    std::vector<int> doomed;
    while (const dirent* entry = ::readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        struct stat info {};
        if (fd <= 2 || fd == keep_a || fd == keep_b || fd == ::dirfd(dir)) continue;
        if (::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode)) doomed.push_back(fd);
    }
    ::closedir(dir);
    for (const int fd : doomed) ::close(fd);
}

// A picture's pixels are tens of megabytes. Left to malloc's defaults each one is mapped
// afresh and handed back when freed, and the kernel clears every page of it again for
// the next source: a third of a format change's time. The worker keeps freed memory for
// the next source instead; its peak stays that of its largest source.
void keep_freed_memory() {
    constexpr int kKeep = 256 * 1024 * 1024;
    (void)::mallopt(M_MMAP_THRESHOLD, kKeep);
    (void)::mallopt(M_TRIM_THRESHOLD, kKeep);
}

// The worker process: converts the sources it reads until the engine closes the pipe.
[[noreturn]] void serve(RunContext& ctx, int requests, int results, pid_t parent,
                        const Handler& handler, bool captured) {
    // A worker outliving a killed engine would hold its lock and race the next run.
    (void)::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    close_other_pipes(requests, results);
    // ImageMagick's files of a worker that is stopped go with its folder.
    WorkerFolder magick_folder;
    (void)magick_folder.take(ctx.temp.folder);
    // A write past the file-size limit fails with EFBIG instead of killing the worker.
    std::signal(SIGXFSZ, SIG_IGN);
    // The engine alone decides when the run stops: a stop asked of the whole process
    // group (Ctrl-C in a terminal) lets the worker, and the renderers it starts, finish
    // the source.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    const Limits& limits = ctx.job.limits;
    if (!kSanitized) set_limit(RLIMIT_AS, limits.memory_mb);
    set_limit(RLIMIT_FSIZE, limits.file_size_mb);
    keep_freed_memory();
    ctx.heartbeat.fd = results;
    if (!captured) {
        ctx.link.on_wait([results](bool waiting) {
            const char tag = waiting ? kWaitStart : kWaitDone;
            (void)!::write(results, &tag, 1);
        });
    }
    std::string source;
    OutputName output;
    while (read_request(requests, source, output)) {
        const SupervisedResult r = convert_here(
            ctx, [&] { return handler(source, output); }, captured);
        ctx.log.flush();
        const std::string message = encode_result(r);
        if (!write_all(results, message.data(), message.size())) ::_exit(1);
    }
    ::_exit(0);
}

std::string ending_of(int status) {
    if (WIFSIGNALED(status)) return "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    return "ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
}

// A worker that died during a move across file systems left its move note: the move is
// finished here, and its lines go where the source's own lines go.
void finish_move_of(RunContext& ctx, pid_t worker, bool captured, SupervisedResult& r) {
    if (worker < 0) return;
    if (captured) ctx.log.capture(&r.log_text);
    finish_interrupted_move(move_note_path(ctx.temp.folder, worker), ctx.log);
    if (captured) ctx.log.capture(nullptr);
}

// A worker is renewed after this many sources.
constexpr unsigned kSourcesPerWorker = 100;

}  // namespace

SupervisedWorker::SupervisedWorker(RunContext& ctx, Handler handler, bool captured)
    : ctx_(ctx),
      handler_(std::move(handler)),
      captured_(captured),
      window_wait_limit_(window_wait_limit()) {}

SupervisedWorker::~SupervisedWorker() {
    (void)stop(busy_);
}

bool SupervisedWorker::start() {
    int requests[2];
    int results[2];
    if (::pipe2(requests, O_CLOEXEC) != 0) return false;
    if (::pipe2(results, O_CLOEXEC) != 0) {
        ::close(requests[0]);
        ::close(requests[1]);
        return false;
    }
    ctx_.log.flush();  // nothing buffered may be written twice
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(requests[1]);
        ::close(results[0]);
        serve(ctx_, requests[0], results[1], parent, handler_, captured_);
    }
    ::close(requests[0]);
    ::close(results[1]);
    if (pid_ < 0) {
        ::close(requests[1]);
        ::close(results[0]);
        return false;
    }
    requests_ = requests[1];
    results_ = results[0];
    served_ = 0;
    return true;
}

// Ends the worker process, with `kill` at once, else by closing its request pipe, and
// gives its wait status.
int SupervisedWorker::stop(bool kill) {
    if (pid_ < 0) return 0;
    if (kill) (void)::kill(pid_, SIGKILL);
    ::close(requests_);
    ::close(results_);
    requests_ = results_ = -1;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    remove_worker_folder(ctx_.temp.folder, pid_);
    pid_ = -1;
    return status;
}

void SupervisedWorker::begin(const std::string& source, const OutputName& output) {
    places_ = {source, output, ctx_.job.move != 0 ? ctx_.job.move_path : ""};
    if (ctx_.journal != nullptr) journal_entry_ = ctx_.journal->begin(places_);
    busy_ = true;
    gone_ = false;
    result_started_ = false;
    received_.clear();
    if (pid_ >= 0 && served_ >= kSourcesPerWorker) (void)stop(false);
    if (pid_ < 0 && !start()) {
        // No worker process: the conversion runs here, unsupervised.
        inline_result_ = convert_here(
            ctx_, [&] { return handler_(source, output); }, captured_);
        return;
    }
    ++served_;
    ctx_.log.flush();  // the worker's lines come after everything written so far
    const std::string request = encode_request(source, output);
    if (!write_all(requests_, request.data(), request.size())) gone_ = true;
    clock_stops_ = 0;
    waiting_for_window_ = false;
    restart_clock();
}

int SupervisedWorker::milliseconds_left() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The source gets its whole time again (from its start, and at each heartbeat).
void SupervisedWorker::restart_clock() {
    const auto whole = std::chrono::seconds(ctx_.job.limits.seconds);
    if (clock_stops_ > 0) {
        left_ = whole;
    } else {
        deadline_ = Clock::now() + whole;
    }
}

// While the clock stands the deadline is the end of the longest wait allowed.
void SupervisedWorker::pause_clock() {
    if (clock_stops_++ > 0) return;
    const auto now = Clock::now();
    left_ = std::max(deadline_ - now, Clock::duration::zero());
    deadline_ = now + window_wait_limit_;
}

void SupervisedWorker::resume_clock() {
    if (clock_stops_ == 0 || --clock_stops_ > 0) return;
    deadline_ = Clock::now() + left_;
}

// One of the signals that come before the result.
void SupervisedWorker::take_signal(char tag) {
    if (tag == kHeartbeat) {
        restart_clock();
    } else if (tag == kWaitStart && !waiting_for_window_) {
        waiting_for_window_ = true;
        pause_clock();
    } else if (tag == kWaitDone && waiting_for_window_) {
        waiting_for_window_ = false;
        resume_clock();
    }
}

bool SupervisedWorker::complete() const {
    if (received_.size() < kResultHead) return false;
    std::uint32_t length = 0;
    std::memcpy(&length, received_.data() + 1, sizeof length);
    return received_.size() >= kResultHead + length;
}

bool SupervisedWorker::pump() {
    if (inline_result_ || gone_ || complete()) return true;
    char buffer[65536];
    const ssize_t got = ::read(results_, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return false;
    if (got <= 0) {
        gone_ = true;
        return true;
    }
    std::size_t at = 0;
    // Heartbeats and waits for the window come before the result.
    while (!result_started_ && at < static_cast<std::size_t>(got)) {
        const char tag = buffer[at];
        if (tag != kHeartbeat && tag != kWaitStart && tag != kWaitDone) {
            result_started_ = true;
            break;
        }
        take_signal(tag);
        ++at;
    }
    received_.append(buffer + at, static_cast<std::size_t>(got) - at);
    return complete();
}

SupervisedResult SupervisedWorker::finish() {
    busy_ = false;
    SupervisedResult r;
    if (inline_result_) {
        r = std::move(*inline_result_);
        inline_result_.reset();
    } else if (!gone_ && complete() && received_[0] == kResult && decode_result(received_, r)) {
        // reported in full
    } else {
        const bool timed_out = !gone_ && !complete();
        // A worker still there ran out of time or spoke nonsense: it goes too.
        const pid_t worker = pid_;
        const int status = stop(!gone_);
        // A worker that spoke to the window itself may have stopped in mid-message: the
        // rest of the run goes on a fresh connection.
        if (!captured_) ctx_.link.reconnect();
        remove_leftovers(ctx_.temp.folder, places_);
        r = SupervisedResult{};
        finish_move_of(ctx_, worker, captured_, r);
        r.outcome.result = kNotConverted;
        r.outcome.reason =
            !timed_out ? ending_of(status)
            : waiting_for_window_
                ? "stopped while waiting for the settings window"
                : "time limit of " + std::to_string(ctx_.job.limits.seconds) + " s exceeded";
    }
    if (ctx_.journal != nullptr) ctx_.journal->end(journal_entry_);
    return r;
}

SupervisedResult run_to_end(SupervisedWorker& worker) {
    for (;;) {
        pollfd ready{worker.fd(), POLLIN, 0};
        const int polled = worker.fd() < 0 ? 1 : ::poll(&ready, 1, worker.milliseconds_left());
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0 || worker.pump()) break;  // the time is up, or the source is done
    }
    return worker.finish();
}

ConvertOutcome supervised(RunContext& ctx, const std::string& source, const std::string& output,
                          const std::function<ConvertOutcome()>& convert) {
    SupervisedWorker worker(
        ctx, [&convert](const std::string&, const OutputName&) { return convert(); }, false);
    worker.begin(source, OutputName::plain(output));
    return run_to_end(worker).outcome;
}

}  // namespace morvane
