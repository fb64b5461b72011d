// Loading the Monitor window from its job file: every control takes the stored value or
// the window's default for that key; what cannot be shown as it stands is said in one
// message once the window is filled.

#include <algorithm>
#include <set>

#include <QApplication>
#include <QComboBox>
#include <QPalette>
#include <QStringList>
#include <QTabBar>
#include <QTableWidget>

#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "monitor_window.h"
#include "path_util.h"
#include "profile.h"

namespace morvane {
namespace {

constexpr int kFieldLargest = 999'999'999;  // nine digits, all a number field holds

// The numbers the window accepts from the file; outside its range a key shows the
// window's default, or the nearest end of the range where that is what a save would
// write (a quality of 100 is meant as the best, not as the default). Switches are on
// when not 0, whatever their number.
struct NumberRange {
    std::string_view section;
    std::string_view key;
    int lowest;
    int highest;
    bool nearest = false;
};

constexpr NumberRange kRanges[] = {
    {"JPEG", "quality", 1, 99, true},         {"PDF", "density", 0, kFieldLargest},
    {"PDF", "from_page", 0, kFieldLargest},   {"PDF", "to_page", 0, kFieldLargest},
    {"EPS", "density", 0, kFieldLargest},     {"AVI", "extract_from", 0, kFieldLargest},
    {"AVI", "extract_to", 0, kFieldLargest},  {"MPEG", "extract_from", 0, kFieldLargest},
    {"MPEG", "extract_to", 0, kFieldLargest}, {"PARAMS", "do_watermark", 0, 2},
    {"PARAMS", "watermark_location", 0, 8},   {"PARAMS", "watermark_dissolve", 0, kFieldLargest},
};

const NumberRange* range_of(std::string_view section, std::string_view key) {
    for (const NumberRange& range : kRanges) {
        if (range.section == section && range.key == key) return &range;
    }
    return nullptr;
}

QString text_of(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A stored value as a message quotes it: a long one is cut, with an ellipsis.
QString quoted(std::string_view value) {
    constexpr qsizetype kShown = 40;
    const QString text = text_of(value.substr(0, 4 * kShown));
    return text.size() > kShown ? text.left(kShown) + QChar(0x2026) : text;
}

QString key_name(std::string_view section, std::string_view key) {
    return text_of(section) + "/" + text_of(key);
}

// Why a stored path cannot be saved back as it stands, worded to follow the key's
// name; empty when it can.
QString path_fault(std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return "holds a line break or a NUL byte, which the job file cannot keep: Save asks "
               "for another path";
    }
    if (!path_fits(value)) {
        return QString("is longer than %1 characters: Save asks for a shorter path")
            .arg(kLongestJobPath);
    }
    if (text_of(value).toUtf8() != QByteArray(value.data(), static_cast<qsizetype>(value.size()))) {
        return "is not UTF-8 text: the window shows it with replacement marks and would save "
               "those, so choose the path again";
    }
    return {};
}

// Reads keys with the window's defaults from the job-key table, and notes each value
// it cannot show as it stands.
class StoredJob {
  public:
    explicit StoredJob(const Profile& profile) : profile_(profile) {}

    // The number, or the default with a finding when it lies outside its range.
    [[nodiscard]] int number(std::string_view section, std::string_view key) {
        const int fallback = fe_default_int(section, key);
        const int value = profile_.get_int(section, key, fallback);
        const NumberRange* range = range_of(section, key);
        if (range == nullptr || (value >= range->lowest && value <= range->highest)) return value;
        const int shown = !range->nearest         ? fallback
                          : value < range->lowest ? range->lowest
                                                  : range->highest;
        note(QString("%1 is %2, not a number from %3 to %4: the window shows %5.")
                 .arg(key_name(section, key), quoted(profile_.value(section, key)))
                 .arg(range->lowest)
                 .arg(range->highest)
                 .arg(shown));
        return shown;
    }
    [[nodiscard]] bool on(std::string_view section, std::string_view key) {
        return number(section, key) != 0;
    }
    [[nodiscard]] QString digits(std::string_view section, std::string_view key) {
        return QString::number(number(section, key));
    }
    // Texts are cut to their buffers; paths are shown whole, so that the saving can
    // refuse one it cannot store instead of storing another folder.
    [[nodiscard]] QString text(std::string_view section, std::string_view key) {
        const JobKey& row = job_key(section, key);
        if (row.kind == KeyKind::Path) {
            const std::string_view value = profile_.value(section, key);
            const QString fault = path_fault(value);
            if (!fault.isEmpty()) note(QString("%1 %2.").arg(key_name(section, key), fault));
            return text_of(value);
        }
        return QString::fromStdString(
            profile_.get_string(section, key, row.fe_default, row.buffer));
    }
    void note(const QString& finding) {
        if (!findings_.contains(finding)) findings_ << finding;
    }
    [[nodiscard]] const Profile& profile() const { return profile_; }
    [[nodiscard]] const QStringList& findings() const { return findings_; }

  private:
    const Profile& profile_;
    QStringList findings_;
};

// What the file itself says before any key is read: binary data, or a section of the
// window's written twice.
void note_the_file(StoredJob& job) {
    if (job.profile().holds_nul()) {
        job.note(
            "The file holds binary data (NUL bytes); it may not be a job file. The window "
            "shows what it could read, and Save keeps the rest of the file as it is.");
    }
    std::set<std::string> read_here{"formats"};
    for (const JobKey& row : job_keys())
        read_here.insert(text_of(row.section).toLower().toStdString());
    for (const std::string& section : job.profile().repeated_sections()) {
        if (read_here.count(section) == 0) continue;
        job.note(QString("The section [%1] appears more than once: the window shows and saves "
                         "the first one.")
                     .arg(text_of(section).toUpper()));
    }
}

void load_formats(MonitorWindow& window, StoredJob& job) {
    QTableWidget* list = window.format_list();
    int row = 0;
    for (const FormatRow& format : format_rows()) {
        const bool on = job.profile().get_int("FORMATS", format.key, 0) != 0;
        list->item(row++, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

void load_folders_and_switches(MonitorWindow& window, StoredJob& job) {
    window.set_checked(IDC_NO_ERASE, !job.on("PARAMS", "erase"));
    window.set_checked(IDC_MONO_INSTANCE, job.on("PARAMS", "mono_instance"));
    window.set_checked(IDC_ASPECT_RATIO, job.on("PARAMS", "aspect_ratio"));
    window.set_checked(IDC_MOVE, job.on("PARAMS", "move"));
    window.set_text(IDC_MOVE_PATH, job.text("FOLDERS", "move_path"));
    window.set_text(IDC_SOURCE, job.text("FOLDERS", "source"));
    window.set_text(IDC_TARGET, job.text("FOLDERS", "target"));
    window.set_checked(IDC_RECURSE, job.on("PARAMS", "recurse"));
    window.set_checked(IDC_REPRODUCE_PATH, job.on("PARAMS", "reproduce_path"));
    window.set_checked(IDC_FROM_ROOT, job.on("PARAMS", "reproduce_path_from_root"));
    window.set_text(IDC_QUALITY, job.digits("JPEG", "quality"));
    window.set_checked(IDC_PROGRESSIVE, job.on("JPEG", "progressive"));
}

// "640x480": the width before the first 'x', the height after it; no 'x', no size.
void load_size(MonitorWindow& window, StoredJob& job) {
    const QString size = job.text("PARAMS", "size");
    const qsizetype x = size.indexOf('x');
    if (x < 0) return;
    window.set_text(IDC_WIDTH, size.left(x));
    window.set_text(IDC_HEIGHT, size.mid(x + 1));
}

void load_frames(MonitorWindow& window, StoredJob& job, const char* section, int all, int range,
                 int from, int to) {
    window.set_text(from, job.digits(section, "extract_from"));
    window.set_text(to, job.digits(section, "extract_to"));
    const bool every_frame = job.on(section, "extract_all");
    window.set_checked(every_frame ? all : range, true);
}

void load_documents(MonitorWindow& window, StoredJob& job) {
    if (job.on("PDF", "extract_all")) {
        window.set_checked(IDC_PDF_ALL, true);
    } else {
        window.set_checked(IDC_PDF_RANGE, true);
        window.set_text(IDC_PDF_FROM, job.digits("PDF", "from_page"));
        window.set_text(IDC_PDF_TO, job.digits("PDF", "to_page"));
    }
    window.set_text(IDC_PDF_DENSITY, job.digits("PDF", "density"));
    window.set_text(IDC_EPS_DENSITY, job.digits("EPS", "density"));
    window.set_checked(IDC_EPS_TRIM, job.on("EPS", "trim"));
    window.set_checked(IDC_TIFF_ALL, job.on("TIFF", "extract_all"));
}

// The text colour, 0x00BBGGRR; the button colour when none is stored or the stored one
// is no such colour.
std::uint32_t stored_color(StoredJob& job) {
    const std::uint32_t button = bgr_of(QApplication::palette().color(QPalette::Button));
    const std::string color =
        job.profile().get_string("PARAMS", "watermark_color", "", kColorBuffer);
    if (color.empty()) return button;
    const int value = profile_text_to_int(color);
    if (value >= 0 && value <= 0xFFFFFF) return static_cast<std::uint32_t>(value);
    job.note(QString("PARAMS/watermark_color is %1, not a colour from 0 to %2: the window shows "
                     "the button colour.")
                 .arg(quoted(job.profile().value("PARAMS", "watermark_color")))
                 .arg(0xFFFFFF));
    return button;
}

void load_watermark(MonitorWindow& window, StoredJob& job) {
    const int mode = job.number("PARAMS", "do_watermark");
    window.set_checked(IDC_WATERMARK, mode != 0);
    if (mode == 1) {
        window.set_text(IDC_WATERMARK_TEXT, job.text("PARAMS", "watermark_txt"));
        window.set_checked(IDC_WATERMARK_TEXT_MODE, true);
    } else if (mode == 2) {
        window.set_text(IDC_WATERMARK_FILE, job.text("PARAMS", "watermark_file"));
        window.set_checked(IDC_WATERMARK_IMAGE_MODE, true);
    }
    window.set_watermark_color(stored_color(job));
    const int location = job.number("PARAMS", "watermark_location");
    window.control_as<QComboBox>(IDC_LOCATION)->setCurrentIndex(location);
    window.set_checked(IDC_TILE, job.on("PARAMS", "watermark_tile"));
    window.set_text(IDC_DISSOLVE, job.digits("PARAMS", "watermark_dissolve"));
}

// One message for the whole file: why it was not read, or what could not be shown.
void tell(MonitorWindow& window, const Profile& profile, const QStringList& findings) {
    const QString file = QString::fromStdString(window.job_file());
    QString text;
    if (!profile.refusal().empty()) {
        text = QString(
                   "The settings file %1 %2.\n\nThe window shows the default settings, and "
                   "Save leaves a file it could not read as it is.")
                   .arg(file, QString::fromStdString(profile.refusal()));
    } else if (!findings.isEmpty()) {
        text = QString("Some settings in %1 could not be shown as they stand:\n\n%2")
                   .arg(file, findings.join("\n"));
    } else {
        return;
    }
    window.desktop().message_box(&window, kMessageCaption, text, MB_ICONWARNING);
}

}  // namespace

void load_settings(MonitorWindow& window) {
    const Profile profile = Profile::load(window.job_file());
    StoredJob job(profile);
    note_the_file(job);
    load_formats(window, job);
    load_folders_and_switches(window, job);
    load_size(window, job);
    load_frames(window, job, "AVI", IDC_AVI_ALL, IDC_AVI_RANGE, IDC_AVI_FROM, IDC_AVI_TO);
    load_frames(window, job, "MPEG", IDC_MPEG_ALL, IDC_MPEG_RANGE, IDC_MPEG_FROM, IDC_MPEG_TO);
    load_documents(window, job);
    window.tabs()->setCurrentIndex(PAGE_MISC);
    window.show_page(PAGE_MISC);
    load_watermark(window, job);
    window.set_tooltips(job.on("MISC", "tooltips"));
    tell(window, profile, job.findings());
}

}  // namespace morvane
