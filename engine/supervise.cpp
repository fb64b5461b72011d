#include "supervise.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"

namespace morvane {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer reserves more address space than any limit
#else
constexpr bool kSanitized = false;
#endif

// The child's messages on its pipe: 'H' (a heartbeat) any number of times, then 'R' and
// the result: i32 result, the reason, the kept log text, the kept window messages.
constexpr char kHeartbeat = 'H';
constexpr char kResult = 'R';

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

bool write_all(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
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
    std::string out(1, kResult);
    put(out, static_cast<std::int32_t>(r.outcome.result));
    put_text(out, r.outcome.reason);
    put_text(out, r.log_text);
    put(out, static_cast<std::uint32_t>(r.frames.size()));
    for (const LinkFrame& f : r.frames) {
        put(out, f.message);
        put(out, f.wparam);
        put(out, f.lparam);
        put_text(out, f.text);
    }
    return out;
}

// Reads the fields of an encoded result in order; any shortfall makes it fail.
class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
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

  private:
    const std::string& bytes_;
    std::size_t at_ = 1;  // past the tag
};

bool decode_result(const std::string& bytes, SupervisedResult& r) {
    Reader in(bytes);
    std::int32_t result = 0;
    std::uint32_t frames = 0;
    if (!in.get(result) || !in.get_text(r.outcome.reason) || !in.get_text(r.log_text) ||
        !in.get(frames)) {
        return false;
    }
    r.outcome.result = result;
    for (std::uint32_t i = 0; i < frames; ++i) {
        LinkFrame f;
        if (!in.get(f.message) || !in.get(f.wparam) || !in.get(f.lparam) || !in.get_text(f.text)) {
            return false;
        }
        r.frames.push_back(std::move(f));
    }
    return true;
}

// Runs the conversion; with `captured` its log lines and messages are kept, not written.
SupervisedResult convert_here(RunContext& ctx, const Conversion& convert, bool captured) {
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

[[noreturn]] void run_child(RunContext& ctx, int out, pid_t parent, const Conversion& convert,
                            bool captured) {
    // A child outliving a killed engine would hold its lock and race the next run.
    (void)::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    // A write past the file-size limit fails with EFBIG instead of killing the child.
    std::signal(SIGXFSZ, SIG_IGN);
    const Limits& limits = ctx.job.limits;
    if (!kSanitized) set_limit(RLIMIT_AS, limits.memory_mb);
    set_limit(RLIMIT_FSIZE, limits.file_size_mb);
    ctx.heartbeat.fd = out;
    const SupervisedResult r = convert_here(ctx, convert, captured);
    ctx.log.flush();
    const std::string message = encode_result(r);
    ::_exit(write_all(out, message.data(), message.size()) ? 0 : 1);
}

std::string ending_of(int status) {
    if (WIFSIGNALED(status)) return "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    return "ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
}

}  // namespace

SupervisedChild::SupervisedChild(RunContext& ctx, WorkPlaces places, const Conversion& convert,
                                 bool captured)
    : ctx_(ctx), places_(std::move(places)), captured_(captured) {
    if (ctx.journal != nullptr) journal_entry_ = ctx.journal->begin(places_);
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        inline_result_ = convert_here(ctx, convert, captured);  // no pipe: unsupervised
        return;
    }
    ctx.log.flush();  // nothing buffered may be written twice
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(channel[0]);
        run_child(ctx, channel[1], parent, convert, captured);
    }
    ::close(channel[1]);
    if (pid_ < 0) {
        ::close(channel[0]);
        inline_result_ = convert_here(ctx, convert, captured);
        return;
    }
    fd_ = channel[0];
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(ctx.job.limits.seconds);
}

SupervisedChild::~SupervisedChild() {
    if (pid_ > 0) (void)finish();
}

int SupervisedChild::milliseconds_left() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool SupervisedChild::pump() {
    if (fd_ < 0) return true;
    char buffer[65536];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return false;
    if (got <= 0) {
        ::close(fd_);
        fd_ = -1;
        return true;
    }
    std::size_t at = 0;
    // Heartbeats come before the result; each one gives the child its full time again.
    while (!result_started_ && at < static_cast<std::size_t>(got)) {
        if (buffer[at] != kHeartbeat) {
            result_started_ = true;
            break;
        }
        deadline_ =
            std::chrono::steady_clock::now() + std::chrono::seconds(ctx_.job.limits.seconds);
        ++at;
    }
    received_.append(buffer + at, static_cast<std::size_t>(got) - at);
    return false;
}

SupervisedResult SupervisedChild::finish() {
    if (pid_ < 0) {
        if (ctx_.journal != nullptr) ctx_.journal->end(journal_entry_);
        return std::move(inline_result_);
    }
    if (fd_ >= 0) {  // stopped before it finished: its time ran out
        timed_out_ = true;
        ::close(fd_);
        fd_ = -1;
        (void)::kill(pid_, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    SupervisedResult r;
    const bool reported =
        !timed_out_ && !received_.empty() && received_[0] == kResult && decode_result(received_, r);
    if (!reported) {
        // A child that spoke to the window itself may have stopped in mid-message.
        if (!captured_) ctx_.link.disconnect();
        remove_leftovers(ctx_.temp.folder, places_);
        r = SupervisedResult{};
        r.outcome.result = kNotConverted;
        r.outcome.reason =
            timed_out_ ? "time limit of " + std::to_string(ctx_.job.limits.seconds) + " s exceeded"
                       : ending_of(status);
    }
    if (ctx_.journal != nullptr) ctx_.journal->end(journal_entry_);
    return r;
}

ConvertOutcome supervised(RunContext& ctx, const std::string& source, const std::string& output,
                          const Conversion& convert) {
    const WorkPlaces places{source, output, ctx.job.move != 0 ? ctx.job.move_path : ""};
    SupervisedChild child(ctx, places, convert, false);
    while (!child.done()) {
        pollfd ready{child.fd(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, child.milliseconds_left());
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) break;  // the time is up
        (void)child.pump();
    }
    return child.finish().outcome;
}

}  // namespace morvane
