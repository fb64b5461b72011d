#include "page_renderer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "documents_ghostscript.h"
#include "fd_io.h"
#include "path_util.h"

namespace morvane {

namespace {

std::chrono::seconds time_limit = kRenderTimeLimit;

// A page file never grows beyond what ImageMagick would take in (its policy caps the
// pixel area far below this); a document that tries is stopped.
constexpr rlim_t kMaxPageFileSize = rlim_t{1} << 30;
constexpr std::size_t kMaxMessage = 1024;

bool is_page_file(const std::string& name, const std::string& base) {
    if (name == base + ".pnm") return true;
    if (name.size() != base.size() + 10 || name.compare(0, base.size(), base) != 0) return false;
    if (name[base.size()] != '_' || name.compare(name.size() - 4, 4, ".pnm") != 0) return false;
    return std::all_of(name.begin() + static_cast<long>(base.size()) + 1, name.end() - 4,
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Ghostscript fills in the page number where the output name says "%05d"; any other
// '%' of the name is doubled so that it stays literal.
std::string output_template(const std::string& folder, const std::string& base) {
    std::string text;
    for (const char c : folder + "/" + base) {
        text.push_back(c);
        if (c == '%') text.push_back('%');
    }
    return text + "_%05d.pnm";
}

std::vector<std::string> renderer_arguments(const RenderRequest& request) {
    std::vector<std::string> args = {"gs",
                                     "-dSAFER",
                                     "-dBATCH",
                                     "-dNOPAUSE",
                                     "-dQUIET",
                                     "-sDEVICE=ppmraw",
                                     "-r" + std::to_string(request.density),
                                     "-dTextAlphaBits=4",
                                     "-dGraphicsAlphaBits=4"};
    if (request.eps_crop) args.push_back("-dEPSCrop");
    if (request.first_page > 1) args.push_back("-dFirstPage=" + std::to_string(request.first_page));
    if (request.last_page > 0) args.push_back("-dLastPage=" + std::to_string(request.last_page));
    args.push_back("-sOutputFile=" + output_template(request.folder, request.base));
    args.push_back(request.source);
    return args;
}

// The child's side: nothing of the parent's open files but the report pipe, a cap on
// the size of the files it writes, and death with the parent.
[[noreturn]] void child_main(const std::function<bool(std::string&)>& work, int report,
                             pid_t parent) {
    (void)::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    if (report != 3) {
        if (::dup2(report, 3) < 0) ::_exit(1);
        report = 3;
    }
    (void)::close_range(4, ~0U, 0);
    const rlimit size_limit{kMaxPageFileSize, kMaxPageFileSize};
    (void)::setrlimit(RLIMIT_FSIZE, &size_limit);
    std::string message;
    const bool done = work(message);
    message.resize(std::min(message.size(), kMaxMessage));
    (void)write_all(report, message.data(), message.size());
    ::_exit(done ? 0 : 1);
}

// Reads the child's report until it closes the pipe; false when the deadline came first
// (or waiting failed).
bool read_report(int fd, std::chrono::steady_clock::time_point deadline, std::string& report) {
    char buffer[512];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long>(left.count(), 60000)));
        if (ready < 0 && errno != EINTR) return false;  // cannot wait: stop the child
        if (ready <= 0) continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        if (report.size() < kMaxMessage) report.append(buffer, static_cast<std::size_t>(got));
    }
}

int wait_for(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

std::string signal_text(int status) {
    const int number = WTERMSIG(status);
    const char* name = ::sigabbrev_np(number);
    return "the renderer stopped on signal " +
           (name != nullptr ? "SIG" + std::string(name) : std::to_string(number)) + " (" +
           ::strsignal(number) + ")";
}

std::vector<std::string> collect_pages(const RenderRequest& request) {
    std::vector<std::string> pages;
    for (int number = 1;; ++number) {
        std::string page = page_file_name(request.folder, request.base, number);
        struct stat info {};
        if (::lstat(page.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) break;
        pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace

void set_render_time_limit(std::chrono::seconds limit) {
    time_limit = limit;
}

std::string page_file_name(const std::string& folder, const std::string& base, int number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%05d.pnm", number);
    return folder + "/" + base + digits;
}

void remove_page_files(const std::string& folder, const std::string& base) {
    remove_files_matching(folder,
                          [&base](const std::string& name) { return is_page_file(name, base); });
}

ChildOutcome run_in_child(const std::function<bool(std::string&)>& work,
                          std::chrono::seconds limit) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {false, std::string("the renderer cannot be started: ") + std::strerror(errno)};
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[0]);
        child_main(work, ends[1], parent);
    }
    ::close(ends[1]);
    const UniqueFd report(ends[0]);
    if (pid < 0) {
        return {false, std::string("the renderer cannot be started: ") + std::strerror(errno)};
    }
    ChildOutcome outcome;
    const bool in_time =
        read_report(report.get(), std::chrono::steady_clock::now() + limit, outcome.message);
    if (!in_time) (void)::kill(pid, SIGKILL);
    const int status = wait_for(pid);
    if (!in_time) {
        outcome.message =
            "rendering stopped after the time limit of " + std::to_string(limit.count()) + " s";
    } else if (status < 0 || WIFSIGNALED(status)) {
        outcome.message = status < 0 ? "the renderer was lost" : signal_text(status);
    } else {
        outcome.done = WEXITSTATUS(status) == 0;
    }
    return outcome;
}

bool render_pages(const RenderRequest& request, std::vector<std::string>& pages,
                  std::string& reason) {
    pages.clear();
    remove_page_files(request.folder, request.base);
    const std::vector<std::string> args = renderer_arguments(request);
    const ChildOutcome outcome = run_in_child(
        [&args](std::string& message) { return ghostscript::run(args, message); }, time_limit);
    if (outcome.done) pages = collect_pages(request);
    if (!pages.empty()) return true;
    remove_page_files(request.folder, request.base);
    reason = outcome.message;
    if (reason.empty()) {
        reason = outcome.done ? "the document has no page to render"
                              : "Ghostscript cannot render the document";
    }
    return false;
}

}  // namespace morvane
