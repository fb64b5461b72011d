#include "move_note.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fd_io.h"
#include "log_file.h"
#include "output_files.h"
#include "path_util.h"
#include "temp_folder.h"

namespace morvane {
namespace {

constexpr std::string_view kNoteHead = "Tarvik_morvane-";
constexpr std::string_view kNoteTail = ".move";
// The note's text: this line, then source and destination, each ended by '\0'.
constexpr std::string_view kVersion = "tarvik-move 1\n";

// Source and destination; nothing for a note that is not whole.
std::optional<std::pair<std::string, std::string>> parse_note(const std::string& text) {
    if (!text.starts_with(kVersion)) return std::nullopt;
    const std::size_t first = text.find('\0', kVersion.size());
    if (first == std::string::npos) return std::nullopt;
    const std::size_t second = text.find('\0', first + 1);
    if (second == std::string::npos || second + 1 != text.size()) return std::nullopt;
    std::string source = text.substr(kVersion.size(), first - kVersion.size());
    std::string destination = text.substr(first + 1, second - first - 1);
    if (source.empty() || destination.empty()) return std::nullopt;
    return std::make_pair(std::move(source), std::move(destination));
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 on an error.
ssize_t read_up_to(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// True when both are regular files (not links) that hold the same bytes.
bool same_bytes(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int fb = ::open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat sa {};
    struct stat sb {};
    bool same = fa >= 0 && fb >= 0 && ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 &&
                S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode) && sa.st_size == sb.st_size;
    std::vector<char> left(1 << 16);
    std::vector<char> right(1 << 16);
    while (same) {
        const ssize_t got = read_up_to(fa, left.data(), left.size());
        same = got >= 0 && read_up_to(fb, right.data(), right.size()) == got &&
               std::equal(left.begin(), left.begin() + got, right.begin());
        if (got <= 0) break;
    }
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

// The copies of the source that never reached the destination's name.
void remove_move_work_files(const std::string& destination) {
    const PathParts parts = split_path(destination);
    const std::string folder = parts.drive + parts.folder;
    const std::string name = parts.name + parts.ext;
    remove_files_matching(folder, [&](const std::string& entry) {
        const std::optional<WorkFileName> work = read_work_file_name(folder, entry);
        return work && (work->cut ? name.starts_with(work->output) : name == work->output);
    });
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void settle_move(const std::string& source, const std::string& destination, LogFile& log) {
    remove_move_work_files(destination);
    const char* outcome = nullptr;
    if (!exists(source)) {
        if (!exists(destination)) return;  // both gone: nothing of the engine's is left
        outcome = "the move has been finished";
    } else if (!exists(destination)) {
        outcome = "the file was not moved";
    } else if (!is_same_file(source, destination) && same_bytes(source, destination) &&
               ::unlink(source.c_str()) == 0) {
        sync_folder(source);
        outcome = "the move has been finished";
    } else {
        outcome = "both files were kept";
    }
    log.printf("The move of %s to %s was interrupted; %s\r\n", source.c_str(), destination.c_str(),
               outcome);
}

}  // namespace

std::string move_note_path(const std::string& temp_folder, pid_t pid) {
    const std::string folder = temp_folder.empty() ? user_temp_folder().value_or("") : temp_folder;
    if (folder.empty()) return {};
    return join_path(folder, std::string(kNoteHead) + std::to_string(pid) + std::string(kNoteTail));
}

bool MoveNote::open(const std::string& temp_folder, const std::string& source,
                    const std::string& destination, LogFile& log) {
    close();
    const std::string path = move_note_path(temp_folder, ::getpid());
    if (path.empty()) return false;
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST) {
        finish_interrupted_move(path, log);  // a dead process that had this number
        fd = ::open(path.c_str(), flags, 0600);
    }
    if (fd < 0) return false;
    fd_ = fd;
    path_ = path;
    std::string text(kVersion);
    text += source;
    text += '\0';
    text += destination;
    text += '\0';
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || !write_all(fd_, text.data(), text.size()) ||
        ::fsync(fd_) != 0) {
        close();
        return false;
    }
    sync_folder(path_);
    return true;
}

void MoveNote::close() {
    if (fd_ < 0) return;
    (void)::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

void finish_interrupted_move(const std::string& note_path, LogFile& log) {
    const int fd = ::open(note_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct stat held {};
    struct stat named {};
    // Locked, and still the note of that name: its process is gone and did not end it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
        ::lstat(note_path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
        if (const auto move = parse_note(read_rest(fd)))
            settle_move(move->first, move->second, log);
        (void)::unlink(note_path.c_str());
    }
    ::close(fd);
}

void finish_interrupted_moves(const std::string& temp_folder, LogFile& log) {
    for (const std::string& path : paths_named(temp_folder, kNoteHead, kNoteTail))
        finish_interrupted_move(path, log);
}

}  // namespace morvane
