#include "leftovers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "convert_source.h"
#include "converters.h"
#include "log_file.h"
#include "move_note.h"
#include "output_files.h"
#include "page_renderer.h"
#include "fd_io.h"
#include "path_util.h"
#include "text_util.h"

namespace morvane {
namespace {

constexpr std::string_view kJournalHead = "Tarvik_morvane-";
constexpr std::string_view kJournalTail = ".work";
// A note begins with its version and the length of its records: a note of another
// version, and whatever a kill left after the records, are never read as records.
constexpr std::string_view kNoteHead = "tarvik-work 2 ";
constexpr std::size_t kLengthDigits = 10;

bool starts_with(std::string_view text, std::string_view head) {
    return text.starts_with(head);
}

// Output names "<prefix><number><suffix>", the number of at least `width` digits (at
// least one) as "%0*u" writes it.
struct Series {
    std::string prefix;
    int width = 0;
    std::string suffix;
};

// The names one conversion may give its outputs in their folder.
struct OutputNames {
    std::string folder;  // up to and including the last '/'
    std::vector<std::string> exact;
    std::vector<Series> series;
};

bool in_series(const Series& s, std::string_view name, bool cut) {
    if (!starts_with(name, s.prefix)) return cut && starts_with(s.prefix, name);
    const std::string_view rest = name.substr(s.prefix.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    const std::size_t least = s.width > 0 ? static_cast<std::size_t>(s.width) : 1;
    if (digits > least && rest[0] == '0') return false;  // never written with that zero
    const std::string_view after = rest.substr(digits);
    if (cut && after.empty()) return true;
    return digits >= least && (cut ? starts_with(s.suffix, after) : after == s.suffix);
}

bool names_output(const OutputNames& names, const WorkFileName& work) {
    for (const std::string& exact : names.exact) {
        if (work.cut ? starts_with(exact, work.output) : exact == work.output) return true;
    }
    return std::any_of(names.series.begin(), names.series.end(),
                       [&work](const Series& s) { return in_series(s, work.output, work.cut); });
}

// The given output name's own series: its placeholder checked against the name.
std::optional<Series> placeholder_series(const OutputName& output, const std::string& folder) {
    const std::string text =
        output.width > 0 ? "%0" + std::to_string(output.width) + "d" : std::string("%d");
    const std::size_t at = output.placeholder;
    if (at < folder.size() || at > output.path.size() ||
        output.path.compare(at, text.size(), text) != 0) {
        return std::nullopt;
    }
    return Series{output.path.substr(folder.size(), at - folder.size()), output.width,
                  output.path.substr(at + text.size())};
}

// The series of a numbered name given within its folder.
void add_series(OutputNames& names, const OutputName& numbered) {
    if (auto series = placeholder_series(numbered, "")) names.series.push_back(*series);
}

// Documents name their pages after the source, videos their frames; every other source
// writes its output name, or the images of a GIF or ICO file "<name>_<n>.jpg".
OutputNames output_names_of(const WorkPlaces& w) {
    const PathParts out = split_path(w.output.path);
    const PathParts source = split_path(w.source);
    OutputNames names{out.drive + out.folder, {}, {}};
    const Route route = route_for_extension(source.ext);
    if (route == Route::Pdf || route == Route::PostScript) {
        names.exact.push_back(document_page_outputs("", source.name, 1).path);
        add_series(names, document_page_outputs("", source.name, 2));
    } else if (route == Route::Avi || route == Route::Mpeg) {
        add_series(names, video_frame_outputs("", source.name));
    } else if (w.output.has_placeholder()) {
        if (auto own = placeholder_series(w.output, names.folder)) names.series.push_back(*own);
    } else {
        names.exact.push_back(out.name + out.ext);
        const bool images = starts_with_ignoring_case(source.ext, ".gif") ||
                            starts_with_ignoring_case(source.ext, ".ico");
        if (route == Route::Raster && images) {
            add_series(names, OutputName::plain(out.name + out.ext).image_series());
        }
    }
    return names;
}

void remove_work_files(const OutputNames& names) {
    if (names.exact.empty() && names.series.empty()) return;
    remove_files_matching(names.folder, [&names](const std::string& name) {
        const std::optional<WorkFileName> work = read_work_file_name(names.folder, name);
        return work && names_output(names, *work);
    });
}

// "<base>_<n>.bmp|.ppm": a frame file of the source.
bool is_frame_of(const std::string& name, const std::string& base) {
    const std::string ext = split_path(name).ext;
    return (ext == ".bmp" || ext == ".ppm") && starts_with(name, base + "_");
}

bool read_number(const std::string& text, std::size_t& number) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    number = static_cast<std::size_t>(std::stoull(text));
    return true;
}

// The record's fields: source, output, placeholder offset (empty: none), placeholder
// width, move folder.
constexpr std::size_t kFields = 5;

std::optional<WorkPlaces> read_record(const std::vector<std::string>& f) {
    WorkPlaces w{f[0], OutputName::plain(f[1]), f[4]};
    std::size_t width = 0;
    if (!read_number(f[3], width) || width > 9) return std::nullopt;
    w.output.width = static_cast<int>(width);
    if (!f[2].empty() && !read_number(f[2], w.output.placeholder)) return std::nullopt;
    return w;
}

// Records are fields ended by '\0', so any name survives the trip.
std::vector<WorkPlaces> parse_records(const std::string& text) {
    std::size_t length = 0;
    const std::size_t head = kNoteHead.size() + kLengthDigits + 1;
    if (!starts_with(text, kNoteHead) || text.size() < head || text[head - 1] != '\n' ||
        !read_number(text.substr(kNoteHead.size(), kLengthDigits), length) ||
        text.size() - head < length) {
        return {};  // a note of another version, or none
    }
    std::vector<std::string> fields;
    const std::string body = text.substr(head, length);
    std::size_t at = 0;
    for (std::size_t end; (end = body.find('\0', at)) != std::string::npos; at = end + 1) {
        fields.push_back(body.substr(at, end - at));
    }
    std::vector<WorkPlaces> records;
    for (std::size_t i = 0; i + kFields <= fields.size(); i += kFields) {
        const std::vector<std::string> record(fields.begin() + i, fields.begin() + i + kFields);
        if (auto w = read_record(record)) records.push_back(std::move(*w));
    }
    return records;
}

// Sweeps the leftovers noted in one journal when no live run holds it, then removes it.
void sweep_journal(const std::string& temp_folder, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        for (const WorkPlaces& w : parse_records(read_rest(fd))) remove_leftovers(temp_folder, w);
        (void)::unlink(path.c_str());
    }
    ::close(fd);
}

void sweep_killed_runs(const std::string& temp_folder) {
    for (const std::string& path : paths_named(temp_folder, kJournalHead, kJournalTail))
        sweep_journal(temp_folder, path);
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
    remove_work_files(output_names_of(w));
    const PathParts source = split_path(w.source);
    if (!w.move_folder.empty() && !(source.name + source.ext).empty()) {
        const PathParts moved = split_path(join_path(w.move_folder, source.name + source.ext));
        remove_work_files({moved.drive + moved.folder, {moved.name + moved.ext}, {}});
    }
}

WorkJournal::~WorkJournal() {
    close();
}

bool WorkJournal::open(const std::string& temp_folder, LogFile* log) {
    close();
    if (temp_folder.empty()) return false;
    temp_folder_ = temp_folder;
    sweep_killed_runs(temp_folder);
    if (log != nullptr) {
        finish_interrupted_moves(temp_folder, *log);
        log->flush();
    }
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
    const OutputName& out = w.output;
    std::string record;
    for (const std::string& field :
         {w.source, out.path, out.has_placeholder() ? std::to_string(out.placeholder) : "",
          std::to_string(out.width), w.move_folder}) {
        record += field;
        record += '\0';
    }
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
    std::string records;
    for (const auto& e : entries_) records += e.second;
    std::string text;
    if (!records.empty()) {
        // Room for any size_t, though a note never comes near ten digits.
        char length[24];
        std::snprintf(length, sizeof length, "%0*zu\n", static_cast<int>(kLengthDigits),
                      records.size());
        text = std::string(kNoteHead) + length + records;
    }
    // Rewritten in place: a kill between the two calls leaves bytes after the records,
    // which the length in front keeps out.
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
