#include "supervise.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

[[noreturn]] void run_child(RunContext& ctx, const Limits& limits, int out,
                            const std::function<ConvertOutcome()>& convert) {
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

bool starts_with(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

// Removes from a folder the files whose names `leftover` recognises.
template <typename Test>
void remove_in(const std::string& folder, Test leftover) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (leftover(name)) (void)::unlink(join_path(folder, name).c_str());
    }
    ::closedir(dir);
}

// What a child that was stopped may have left for this source: page and frame files and
// the watermark copy in the temporary folder, and output work files in the target.
void remove_leftovers(RunContext& ctx, const std::string& source, const std::string& output) {
    const std::string base = split_path(source).name;
    remove_in(ctx.temp.folder, [&](const std::string& name) {
        const std::string ext = split_path(name).ext;
        const bool work = ext == ".pnm" || ext == ".bmp" || ext == ".ppm";
        return name == "tmp.jpg" ||
               (work && (starts_with(name, base + "_") || name == base + ".pnm"));
    });
    const PathParts out = split_path(output);
    remove_in(out.folder.empty() ? std::string(".") : out.folder, [&](const std::string& name) {
        return starts_with(name, "." + out.name) && name.find(".tarvik-") != std::string::npos;
    });
}

}  // namespace

ConvertOutcome supervised(RunContext& ctx, const std::string& source, const std::string& output,
                          const std::function<ConvertOutcome()>& convert) {
    const Limits& limits = ctx.job.limits;
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return convert();  // no pipe: convert unsupervised
    ctx.log.flush();  // nothing buffered may be written twice
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        return convert();
    }
    if (child == 0) {
        ::close(channel[0]);
        run_child(ctx, limits, channel[1], convert);
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
    remove_leftovers(ctx, source, output);
    outcome.result = kNotConverted;
    outcome.reason = read == Read::TimedOut
                         ? "time limit of " + std::to_string(limits.seconds) + " s exceeded"
                         : ending_of(status);
    return outcome;
}

}  // namespace morvane
