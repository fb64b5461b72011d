#include "supervise.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "leftovers.h"
#include "log_file.h"
#include "monitor_link.h"
#include "path_util.h"
#include "job_settings.h"

namespace morvane {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer reserves more address space than any limit
#else
constexpr bool kSanitized = false;
#endif

void set_limit(int resource, long megabytes) {
    if (megabytes <= 0) return;
    const rlim_t bytes = static_cast<rlim_t>(megabytes) * 1024 * 1024;
    const rlimit limit{bytes, bytes};
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

[[noreturn]] void run_child(RunContext& ctx, const Limits& limits, int out, pid_t parent,
                            const std::function<ConvertOutcome()>& convert) {
    // A child outliving a killed engine would hold its lock and race the next run.
    (void)::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    // A write past the file-size limit fails with EFBIG instead of killing the child.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!kSanitized) set_limit(RLIMIT_AS, limits.memory_mb);
    set_limit(RLIMIT_FSIZE, limits.file_size_mb);
    ctx.heartbeat.fd = out;
    const ConvertOutcome outcome = convert();
    ctx.log.flush();
    const char tag = 'R';
    const std::int32_t result = outcome.result;
    const std::uint32_t length = static_cast<std::uint32_t>(outcome.reason.size());
    const bool sent = write_all(out, &tag, 1) && write_all(out, &result, sizeof result) &&
                      write_all(out, &length, sizeof length) &&
                      write_all(out, outcome.reason.data(), outcome.reason.size());
    ::_exit(sent ? 0 : 1);
}

// Reads exactly `size` bytes unless the deadline passes or the child goes first.
enum class Read { Done, Closed, TimedOut };

Read read_until(int fd, void* data, std::size_t size, int& milliseconds_left) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        pollfd ready{fd, POLLIN, 0};
        const auto started = std::chrono::steady_clock::now();
        const int polled = ::poll(&ready, 1, milliseconds_left);
        milliseconds_left -= static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - started)
                                                  .count());
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0 || milliseconds_left <= 0) return Read::TimedOut;
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Read::Closed;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return Read::Done;
}

// Waits for the child's result; every heartbeat on the way gives it its full time again.
Read read_outcome(int fd, int seconds, ConvertOutcome& outcome) {
    int left = seconds * 1000;
    char tag = 'H';
    while (tag == 'H') {
        left = seconds * 1000;
        const Read read = read_until(fd, &tag, 1, left);
        if (read != Read::Done) return read;
    }
    if (tag != 'R') return Read::Closed;
    std::int32_t result = 0;
    std::uint32_t length = 0;
    Read read = read_until(fd, &result, sizeof result, left);
    if (read == Read::Done) read = read_until(fd, &length, sizeof length, left);
    if (read != Read::Done) return read;
    outcome.result = result;
    outcome.reason.assign(length, '\0');
    return length == 0 ? Read::Done : read_until(fd, outcome.reason.data(), length, left);
}

std::string ending_of(int status) {
    if (WIFSIGNALED(status)) return "crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    return "ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
}

// Forks the child, waits for its outcome and, when it gave none, cleans up after it.
ConvertOutcome run_supervised(RunContext& ctx, const Limits& limits, const WorkPlaces& places,
                              const std::function<ConvertOutcome()>& convert) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return convert();  // no pipe: convert unsupervised
    ctx.log.flush();  // nothing buffered may be written twice
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return convert();
    }
    if (child == 0) {
        ::close(channel[0]);
        run_child(ctx, limits, channel[1], parent, convert);
    }
    ::close(channel[1]);
    ConvertOutcome outcome;
    const Read read = read_outcome(channel[0], limits.seconds, outcome);
    ::close(channel[0]);
    if (read == Read::TimedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (read == Read::Done) return outcome;
    // The child may have stopped in the middle of a message to the window.
    ctx.link.disconnect();
    remove_leftovers(ctx.temp.folder, places);
    outcome.result = kNotConverted;
    outcome.reason = read == Read::TimedOut
                         ? "time limit of " + std::to_string(limits.seconds) + " s exceeded"
                         : ending_of(status);
    return outcome;
}

}  // namespace

ConvertOutcome supervised(RunContext& ctx, const std::string& source, const std::string& output,
                          const std::function<ConvertOutcome()>& convert) {
    const Limits& limits = ctx.job.limits;
    const WorkPlaces places{source, output, ctx.job.move != 0 ? ctx.job.move_path : ""};
    if (ctx.journal != nullptr) ctx.journal->begin(places);
    ConvertOutcome outcome = run_supervised(ctx, limits, places, convert);
    if (ctx.journal != nullptr) ctx.journal->end();
    return outcome;
}

}  // namespace morvane
