#include "profile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fd_io.h"
#include "text_util.h"

namespace morvane {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

// One pair of matching double or single quotes around the whole value goes.
std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// One text for a section and a key, both lowered; the section's length first keeps
// every pair apart.
std::string index_key(std::string_view section, std::string_view key) {
    std::string text = std::to_string(section.size());
    text.append(":").append(section).append(key);
    return text;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section or key name
    std::string_view value;  // the key's value, unquoted
};

// Classifies one line given without its line end.
Line classify(std::string_view raw) {
    const std::string_view text = trim(raw);
    if (text.empty()) return {};
    if (text.front() == ';') return {LineKind::Comment, {}, {}};
    if (text.front() == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            return {LineKind::Section, trim(text.substr(1, close - 1)), {}};
        }
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return {LineKind::Other, {}, {}};
    const std::string_view key = trim(text.substr(0, equals));
    if (key.empty()) return {LineKind::Other, {}, {}};
    return {LineKind::Key, key, unquote(trim(text.substr(equals + 1)))};
}

// The text's lines, each with its own line end ("\n" or "\r\n"; the last may have none).
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

std::string_view without_line_end(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string size_text(std::size_t bytes) {
    if (bytes % kMebibyte == 0) return std::to_string(bytes / kMebibyte) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// Opens without blocking (a FIFO never hangs the open) and admits only a regular file.
int open_admitted(const std::string& path, const ProfileFile& file, std::string& refusal,
                  ReadResult& result) {
    const int flags =
        O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (file.follow_links ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        const int error = errno;
        result = error == ENOENT || error == ENOTDIR ? ReadResult::Missing : ReadResult::Refused;
        if (error == ELOOP && !file.follow_links) {
            refusal = "is a symbolic link";
        } else {
            refusal = std::string("cannot be read: ") + std::strerror(error);
        }
        return -1;
    }
    struct stat info {};
    result = ReadResult::Refused;
    if (::fstat(fd, &info) != 0) {
        refusal = std::string("cannot be read: ") + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        refusal = "is not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > file.limit) {
        refusal = "is larger than " + size_text(file.limit);
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

// Reads at most the limit and one byte more, so a file that grows while it is read is
// caught as well.
bool read_bounded(int fd, std::size_t limit, std::string& out, std::string& refusal) {
    char buffer[65536];
    for (;;) {
        const std::size_t room = limit + 1 - out.size();
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, room));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            refusal = std::string("cannot be read: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) return true;
        out.append(buffer, static_cast<std::size_t>(got));
        if (out.size() > limit) {
            refusal = "is larger than " + size_text(limit);
            return false;
        }
    }
}

}  // namespace

ReadResult read_profile_file(const std::string& path, const ProfileFile& file, std::string& out,
                             std::string& refusal) {
    out.clear();
    refusal.clear();
    ReadResult result = ReadResult::Read;
    const int fd = open_admitted(path, file, refusal, result);
    if (fd < 0) {
        if (result == ReadResult::Missing) refusal.clear();
        return result;
    }
    const bool read = read_bounded(fd, file.limit, out, refusal);
    ::close(fd);
    if (read) return ReadResult::Read;
    out.clear();
    return ReadResult::Refused;
}

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view byte_order_mark(std::string_view text) {
    return text.starts_with(kByteOrderMark) ? kByteOrderMark : std::string_view();
}

// The file that a write really replaces: the target of a symbolic link, else the path.
std::string write_target(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// A new file beside `target`, created with 0666 less the umask; -1 when none can be made.
int create_temp_beside(const std::string& target, std::string& temp_path) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    static std::atomic<unsigned> counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_path = folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++);
        const int fd =
            ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Replaces the file in one step: a crash leaves either the old or the new text. On
// failure `reason` says why, in words that follow the file's name.
bool replace_file(const std::string& path, std::string_view bytes, std::string& reason) {
    const auto failed = [&reason](const char* what) {
        reason = std::string(what) + std::strerror(errno);
        return false;
    };
    const std::string target = write_target(path);
    struct stat info {};
    const bool existed = ::stat(target.c_str(), &info) == 0;
    if (existed && ::access(target.c_str(), W_OK) != 0) return failed("cannot be written: ");
    std::string temp_path;
    const int fd = create_temp_beside(target, temp_path);
    if (fd < 0) return failed("cannot be written in its folder: ");
    bool ok = write_all(fd, bytes.data(), bytes.size());
    if (ok && existed) ok = ::fchmod(fd, info.st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (!ok) failed("cannot be written: ");
    if (::close(fd) != 0 && ok) ok = failed("cannot be written: ");
    if (ok && ::rename(temp_path.c_str(), target.c_str()) != 0) ok = failed("cannot be replaced: ");
    if (!ok) ::unlink(temp_path.c_str());
    return ok;
}

}  // namespace

Profile Profile::load(const std::string& path, const ProfileFile& file) {
    std::string text;
    std::string refusal;
    if (read_profile_file(path, file, text, refusal) != ReadResult::Read) {
        Profile unread;
        unread.refusal_ = std::move(refusal);
        return unread;
    }
    return parse(text);
}

Profile Profile::parse(std::string_view text) {
    text.remove_prefix(byte_order_mark(text).size());
    Profile profile;
    profile.holds_nul_ = text.find('\0') != std::string_view::npos;
    // A set, so that a file of many thousand sections is read in linear time too.
    std::unordered_set<std::string> seen_sections;
    std::unordered_set<std::string> repeated;
    std::string section;
    bool in_first_copy = false;  // keys before any section, or in a repeat, are not seen
    for (const std::string_view raw : split_lines(text)) {
        const Line line = classify(without_line_end(raw));
        if (line.kind == LineKind::Section) {
            section = lowered(line.name);
            in_first_copy = seen_sections.insert(section).second;
            if (!in_first_copy && repeated.insert(section).second) {
                profile.repeated_sections_.push_back(section);
            }
        } else if (line.kind == LineKind::Key && in_first_copy) {
            std::string key = lowered(line.name);
            const std::size_t next = profile.entries_.size();
            if (profile.index_.try_emplace(index_key(section, key), next).second) {
                profile.entries_.push_back({section, std::move(key), std::string(line.value)});
            }
        }
    }
    profile.opened_ = true;
    return profile;
}

const Profile::Entry* Profile::find(std::string_view section, std::string_view key) const {
    const auto place = index_.find(index_key(lowered(section), lowered(key)));
    return place == index_.end() ? nullptr : &entries_[place->second];
}

std::string Profile::get_string(std::string_view section, std::string_view key,
                                std::string_view def, std::size_t size) const {
    if (size == 0) return {};
    const Entry* entry = find(section, key);
    std::string_view value = (entry != nullptr && !entry->value.empty()) ? entry->value : def;
    return std::string(value.substr(0, size - 1));
}

int Profile::get_int(std::string_view section, std::string_view key, int def) const {
    const Entry* entry = find(section, key);
    if (entry == nullptr || entry->value.empty()) return def;
    return profile_text_to_int(entry->value);
}

std::string_view Profile::value(std::string_view section, std::string_view key) const {
    const Entry* entry = find(section, key);
    return entry != nullptr ? std::string_view(entry->value) : std::string_view();
}

bool Profile::has_value(std::string_view section, std::string_view key) const {
    const Entry* entry = find(section, key);
    return entry != nullptr && !entry->value.empty();
}

int profile_text_to_int(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // One past INT_MAX is the magnitude of INT_MIN; anything larger is clamped there.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) magnitude = kLimit;
    }
    if (negative) return static_cast<int>(-magnitude);
    return magnitude >= kLimit ? INT_MAX : static_cast<int>(magnitude);
}

namespace {

// Where a key goes in the file's lines: the line to replace, or the line to insert
// after (npos with no section: append a new section).
struct KeyPlace {
    std::size_t section_line = std::string_view::npos;
    std::size_t key_line = std::string_view::npos;
    std::size_t last_content_line = std::string_view::npos;
};

KeyPlace locate_key(const std::vector<std::string_view>& lines, std::string_view section,
                    std::string_view key) {
    KeyPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line line = classify(without_line_end(lines[i]));
        if (line.kind == LineKind::Section) {
            if (place.section_line != std::string_view::npos) break;
            if (equal_ignoring_case(line.name, section)) {
                place.section_line = place.last_content_line = i;
            }
            continue;
        }
        if (place.section_line == std::string_view::npos) continue;
        if (line.kind == LineKind::Key || line.kind == LineKind::Other) place.last_content_line = i;
        if (line.kind == LineKind::Key && equal_ignoring_case(line.name, key)) {
            place.key_line = i;
            break;
        }
    }
    return place;
}

void append_line(std::string& out, std::string_view line) {
    out.append(line);
    if (line.empty() || line.back() != '\n') out.append("\r\n");
}

std::string with_key_written(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
    // A byte-order mark stays where it is, ahead of the first line it would hide.
    const std::string_view mark = byte_order_mark(text);
    text.remove_prefix(mark.size());
    const std::vector<std::string_view> lines = split_lines(text);
    const KeyPlace place = locate_key(lines, section, key);
    std::string key_line = std::string(key) + "=" + std::string(value) + "\r\n";
    std::string out(mark);
    out.reserve(mark.size() + text.size() + key_line.size() + section.size() + 4);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == place.key_line) {
            out.append(key_line);
            continue;
        }
        if (i == place.last_content_line && place.key_line == std::string_view::npos) {
            append_line(out, lines[i]);
            out.append(key_line);
            continue;
        }
        out.append(lines[i]);
    }
    if (place.section_line == std::string_view::npos) {
        if (out.size() > mark.size() && out.back() != '\n') out.append("\r\n");
        out.append("[").append(section).append("]\r\n").append(key_line);
    }
    return out;
}

}  // namespace

bool write_profile_string(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value) {
    std::string reason;
    std::optional<ProfileEditor> editor = ProfileEditor::open(path, reason);
    if (!editor) return false;
    editor->set(section, key, value);
    return editor->save(reason);
}

std::optional<ProfileEditor> ProfileEditor::open(const std::string& path, std::string& reason) {
    ProfileEditor editor;
    editor.path_ = path;
    if (read_profile_file(write_target(path), {}, editor.text_, reason) == ReadResult::Refused) {
        return std::nullopt;
    }
    return editor;
}

void ProfileEditor::set(std::string_view section, std::string_view key, std::string_view value) {
    text_ = with_key_written(text_, section, key, value);
}

bool ProfileEditor::save(std::string& reason) const {
    return replace_file(path_, text_, reason);
}

}  // namespace morvane
