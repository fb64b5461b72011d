#include "leftovers.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "page_renderer.h"
#include "path_util.h"

namespace morvane {
namespace {

constexpr std::string_view kWorkTag = ".tarvik-";
constexpr std::size_t kSuffixLength = 6;
constexpr std::string_view kJournalHead = "Tarvik_morvane-";
constexpr std::string_view kJournalTail = ".work";

bool starts_with(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// ".<stem>...tarvik-XXXXXX": a work file the engine made for an output or a move.
bool is_work_file_of(std::string_view name, const std::string& stem) {
    if (!starts_with(name, "." + stem) || name.size() < kWorkTag.size() + kSuffixLength) {
        return false;
    }
    return name.substr(name.size() - kSuffixLength - kWorkTag.size(), kWorkTag.size()) == kWorkTag;
}

// "<base>_<n>.bmp|.ppm": a frame file of the source.
bool is_frame_of(const std::string& name, const std::string& base) {
    const std::string ext = split_path(name).ext;
    return (ext == ".bmp" || ext == ".ppm") && starts_with(name, base + "_");
}

// Records are "source\0output\0move folder\0", so any name survives the trip.
std::vector<WorkPlaces> parse_records(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
        fields.push_back(text.substr(at, end - at));
    }
    std::vector<WorkPlaces> records;
    for (std::size_t i = 0; i + 3 <= fields.size(); i += 3) {
        records.push_back({fields[i], OutputName::plain(fields[i + 1]), fields[i + 2]});
    }
    return records;
}

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, got);
    return text;
}

// Sweeps the leftovers noted in one journal when no live run holds it, then removes it.
void sweep_journal(const std::string& temp_folder, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        for (const WorkPlaces& w : parse_records(read_all(fd))) remove_leftovers(temp_folder, w);
        (void)::unlink(path.c_str());
    }
    ::close(fd);
}

void sweep_killed_runs(const std::string& temp_folder) {
    std::vector<std::string> journals;
    if (DIR* dir = ::opendir(temp_folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (starts_with(name, kJournalHead) && ends_with(name, kJournalTail)) {
                journals.push_back(join_path(temp_folder, name));
            }
        }
        ::closedir(dir);
    }
    for (const std::string& path : journals) sweep_journal(temp_folder, path);
}

}  // namespace

void remove_leftovers(const std::string& temp_folder, const WorkPlaces& w) {
    const std::string base = split_path(w.source).name;
    if (!temp_folder.empty()) {
        if (!base.empty()) remove_page_files(temp_folder, base);
        remove_files_matching(temp_folder, [&base](const std::string& name) {
            return name == "tmp.jpg" || (!base.empty() && is_frame_of(name, base));
        });
    }
    const PathParts out = split_path(w.output.path);
    if (!out.name.empty()) {
        remove_files_matching(out.folder, [&out](const std::string& name) {
            return is_work_file_of(name, out.name);
        });
    }
    const PathParts source = split_path(w.source);
    if (!w.move_folder.empty() && !source.name.empty()) {
        remove_files_matching(w.move_folder, [&source](const std::string& name) {
            return is_work_file_of(name, source.name + source.ext);
        });
    }
}

WorkJournal::~WorkJournal() {
    close();
}

bool WorkJournal::open(const std::string& temp_folder) {
    close();
    if (temp_folder.empty()) return false;
    temp_folder_ = temp_folder;
    sweep_killed_runs(temp_folder);
    path_ = join_path(temp_folder, std::string(kJournalHead) + std::to_string(::getpid()) +
                                       std::string(kJournalTail));
    (void)::unlink(path_.c_str());  // a note of an earlier process that had this number
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        close();
        return false;
    }
    return true;
}

unsigned WorkJournal::begin(const WorkPlaces& w) {
    std::string record = w.source;
    record += '\0';
    record += w.output.path;
    record += '\0';
    record += w.move_folder;
    record += '\0';
    entries_.emplace_back(next_entry_, std::move(record));
    rewrite();
    return next_entry_++;
}

void WorkJournal::end(unsigned entry) {
    std::erase_if(entries_, [entry](const auto& e) { return e.first == entry; });
    rewrite();
}

void WorkJournal::rewrite() {
    if (fd_ < 0) return;
    std::string text;
    for (const auto& e : entries_) text += e.second;
    // Rewritten in place: a kill between the two calls leaves whole records in front.
    if (!text.empty()) (void)!::pwrite(fd_, text.data(), text.size(), 0);
    (void)!::ftruncate(fd_, static_cast<off_t>(text.size()));
}

void WorkJournal::close() {
    if (fd_ < 0) return;
    (void)::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

}  // namespace morvane
