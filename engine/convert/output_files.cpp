#include "output_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fd_io.h"
#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "move_note.h"
#include "path_util.h"

namespace morvane {

namespace {

// A work file that is removed unless the work went through.
class TempGuard {
  public:
    explicit TempGuard(std::string path) : path_(std::move(path)) {}
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    ~TempGuard() {
        if (!path_.empty()) (void)::unlink(path_.c_str());
    }
    void release() { path_.clear(); }

  private:
    std::string path_;
};

std::string folder_part(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

constexpr std::string_view kWorkTag = ".tarvik-";
constexpr std::size_t kSuffixLength = 6;

std::string random_suffix() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string text(kSuffixLength, 'X');
    for (char& c : text) c = letters[pick(engine)];
    return text;
}

// How much of an output's file name its work names in `folder` keep: they stay inside
// the limits of a file name and of a path.
std::size_t work_name_length(const std::string& folder) {
    const std::size_t room =
        kMaxPathLength > folder.size() + 16 ? kMaxPathLength - folder.size() - 16 : 0;
    return std::min(std::size_t{200}, room);
}

// Creates a fresh work file ".<name>.tarvik-XXXXXX" beside `path` (O_EXCL, so nothing
// that exists is ever opened). Returns the descriptor, or -1 with errno set.
int create_work_file(const std::string& path, mode_t mode, std::string& work_path) {
    const std::string folder = folder_part(path);
    std::string name = path.substr(folder.size());
    name.resize(std::min(name.size(), work_name_length(folder)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        work_path = folder + "." + name + std::string(kWorkTag) + random_suffix();
        const int fd = ::open(work_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Renames without replacing: 0, EEXIST when the name is taken, or another errno.
int rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a hard link refuses a taken name as well.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    (void)::unlink(from.c_str());
    return 0;
}

int rename_replace(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool is_symbolic_link(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

constexpr const char* kReplacesSource = "the output would replace the source itself";

}  // namespace

std::optional<WorkFileName> read_work_file_name(const std::string& folder, std::string_view name) {
    const std::size_t tail = kWorkTag.size() + kSuffixLength;
    if (name.size() < 1 + tail || name.front() != '.') return std::nullopt;
    const std::string_view suffix = name.substr(name.size() - kSuffixLength);
    const bool letters = std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
    if (!letters || name.substr(name.size() - tail, kWorkTag.size()) != kWorkTag) {
        return std::nullopt;
    }
    const std::string_view output = name.substr(1, name.size() - 1 - tail);
    const std::size_t kept = work_name_length(folder);
    if (output.size() > kept) return std::nullopt;
    return WorkFileName{std::string(output), output.size() == kept};
}

std::string write_failure(const std::string& path, int error) {
    return "the output file " + path + " cannot be written: " + std::strerror(error);
}

bool output_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool is_same_file(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool replaces_outputs(const JobSettings& job) {
    return job.erase != 0;
}

std::optional<Outcome> settle_output(const JobSettings& job, const std::string& output,
                                     const std::string& input) {
    if (!replaces_outputs(job) && output_exists(output)) return Outcome{Result::Kept, {}};
    if (is_same_file(output, input)) return Outcome{Result::Failed, kReplacesSource};
    return std::nullopt;
}

Outcome outputs_outcome(std::size_t written, std::size_t kept, std::size_t count,
                        Outcome otherwise) {
    if (written > 0) return {Result::Written, {}};
    if (kept == count) return {Result::Kept, {}};
    return otherwise;
}

OutputWork::~OutputWork() {
    (void)fd_.close();
    if (!work_path_.empty()) (void)::unlink(work_path_.c_str());
}

bool OutputWork::open(std::string& reason) {
    fd_ = UniqueFd(create_work_file(path_, 0666, work_path_));
    if (fd_) return true;
    work_path_.clear();
    reason = write_failure(path_, errno);
    return false;
}

std::string OutputWork::descriptor_path() const {
    return "/proc/self/fd/" + std::to_string(fd_.get());
}

Result OutputWork::commit(bool replace, std::string& reason) {
    if (!fd_.close()) {
        reason = write_failure(path_, errno);
        return Result::Failed;
    }
    // A link planted at the output name is neither followed nor replaced.
    if (replace && is_symbolic_link(path_)) {
        reason = "the output file " + path_ + " is a symbolic link and was left as it is";
        return Result::Failed;
    }
    const int error =
        replace ? rename_replace(work_path_, path_) : rename_no_replace(work_path_, path_);
    if (error == EEXIST && !replace) return Result::Kept;
    if (error != 0) {
        reason = write_failure(path_, error);
        return Result::Failed;
    }
    work_path_.clear();
    return Result::Written;
}

Result write_output_file(const std::string& path, const void* data, std::size_t size, bool replace,
                         std::string& reason) {
    reason.clear();
    OutputWork work(path);
    if (!work.open(reason)) return Result::Failed;
    if (!write_all(work.fd(), data, size)) {
        reason = write_failure(path, errno);
        return Result::Failed;
    }
    return work.commit(replace, reason);
}

void sync_folder(const std::string& file_path) {
    const std::string folder = folder_part(file_path);
    UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) (void)::fsync(dir.get());
}

namespace {

bool copy_bytes(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!write_all(to, buffer.data(), static_cast<std::size_t>(got))) return false;
    }
}

// Copies the source whole to a work file beside the destination, with the source's
// mode and times, syncs it and renames it over the destination.
bool copy_into_place(const std::string& source, const std::string& destination) {
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::string work_path;
    UniqueFd out(create_work_file(destination, 0600, work_path));
    if (!out) return false;
    TempGuard guard(work_path);
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (!copy_bytes(in.get(), out.get()) || ::fchmod(out.get(), info.st_mode & 07777) != 0 ||
        ::futimens(out.get(), times) != 0 || ::fsync(out.get()) != 0 || !out.close()) {
        return false;
    }
    if (rename_replace(work_path, destination) != 0) return false;
    guard.release();
    sync_folder(destination);
    return true;
}

// Within one file system the source is renamed: at every moment it is in exactly one of
// the two places. Across file systems it is copied, synced, renamed into place and only
// then deleted (a failing delete leaves two copies, unreported), all under a move note
// that lets the next run finish a move cut short; without a note there is no such move.
bool move_into_place(RunContext& ctx, const std::string& source, const std::string& destination) {
    if (::rename(source.c_str(), destination.c_str()) == 0) {
        sync_folder(destination);
        sync_folder(source);
        return true;
    }
    if (errno != EXDEV) return false;
    MoveNote note;
    if (!note.open(ctx.temp.folder, source, destination, ctx.log)) return false;
    if (!copy_into_place(source, destination)) return false;
    (void)::unlink(source.c_str());
    sync_folder(source);  // the source is gone for good before its note goes
    return true;
}

}  // namespace

void move_source(RunContext& ctx, const std::string& source) {
    ctx.link.status("Moving...");
    const PathParts parts = split_path(source);
    std::string destination = ctx.job.move_path + "/" + parts.name + parts.ext;
    tidy_path(destination);
    // No move folder means no move: the bare name would land in the root folder.
    const bool moved = !ctx.job.move_path.empty() && destination.size() <= kMaxPathLength &&
                       !is_same_file(source, destination) && !is_symbolic_link(destination) &&
                       move_into_place(ctx, source, destination);
    if (moved) {
        ctx.log.printf("The file %s has been moved to %s\r\n", source.c_str(), destination.c_str());
    } else {
        ctx.log.printf("The file %s could not be moved to %s\r\n", source.c_str(),
                       destination.c_str());
    }
    ctx.log.flush();
    ctx.link.progress(95);
}

}  // namespace morvane
