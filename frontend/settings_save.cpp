// Saving the Monitor window: the controls are checked and written key after key, in a
// fixed order; the first check that fails stops the save with its message, leaving the
// keys written before it in the file and the later ones as they were.

#include <climits>
#include <optional>
#include <string>

#include <QComboBox>
#include <QTableWidget>

#include <unistd.h>

#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "monitor_window.h"
#include "path_util.h"
#include "profile.h"

namespace morvane {
namespace {

// A path as a message shows it: a very long one is cut in its middle.
QString quoted_path(const std::string& path) {
    constexpr qsizetype kHead = 200;
    constexpr qsizetype kTail = 60;
    const QString text = QString::fromStdString(path);
    if (text.size() <= kHead + kTail) return text;
    return text.left(kHead) + QChar(0x2026) + text.right(kTail);
}

// A number field's value: its digits, or 0 when it holds anything else.
int field_number(const QString& text) {
    if (text.isEmpty()) return 0;
    long long value = 0;
    for (const QChar c : text) {
        if (c < '0' || c > '9') return 0;
        value = std::min<long long>(value * 10 + (c.unicode() - '0'), INT_MAX);
    }
    return static_cast<int>(value);
}

// A folder that can take a new file: a directory the user may write into. Nothing is
// created in it to find out.
bool folder_takes_files(const std::string& path) {
    return is_folder(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

class SettingsSaver {
  public:
    SettingsSaver(MonitorWindow& window, ProfileEditor& job) : window_(window), job_(job) {}

    bool run() {
        return folders() && size() && switches() && formats() && jpeg() && pdf() &&
               frames("AVI", IDC_AVI_ALL, IDC_AVI_FROM, IDC_AVI_TO, PAGE_AVI) &&
               frames("MPEG", IDC_MPEG_ALL, IDC_MPEG_FROM, IDC_MPEG_TO, PAGE_MPEG) && eps_tiff() &&
               move() && watermark();
    }

  private:
    void put(std::string_view section, std::string_view key, const std::string& value) {
        job_.set(section, key, value);
    }
    void put(std::string_view section, std::string_view key, int value) {
        put(section, key, std::to_string(value));
    }
    void put_switch(std::string_view section, std::string_view key, int id) {
        put(section, key, window_.is_checked(id) ? "1" : "0");
    }
    [[nodiscard]] std::string text(int id) const { return window_.text_of(id).toStdString(); }
    [[nodiscard]] int number(int id) const { return field_number(window_.text_of(id)); }

    int ask(const QString& text, std::int64_t flags, QWidget* owner) {
        return window_.desktop().message_box(owner, kMessageCaption, text, flags);
    }
    bool refuse(const QString& text, int focus) {
        ask(text, MB_ICONWARNING, &window_);
        window_.focus_control(focus);
        return false;
    }
    // A path the job file cannot hold as it is typed: too long, or a line break or a NUL
    // in it (the file's lines would split). Refused with a message; false when the save
    // stops here.
    bool path_storable(const std::string& path, int focus) {
        QString fault;
        if (!path_fits(path)) {
            fault = QString(
                        "This path is longer than %1 characters. Please choose a shorter "
                        "one.")
                        .arg(kLongestJobPath);
        } else if (path.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            fault =
                "This path holds a line break, which the job file cannot store. Please "
                "choose another one.";
        } else {
            return true;
        }
        return refuse(quoted_path(path) + "\n\n" + fault, focus);
    }

    // The folder of `edit`, checked, created on the user's word and tidied; nothing
    // when the save stops here.
    std::optional<std::string> checked_folder(int edit, const char* empty_message) {
        const std::string typed = text(edit);
        if (typed.empty()) return refuse(empty_message, edit), std::nullopt;
        std::string folder = typed;
        tidy_path(folder);
        if (!path_storable(folder, edit)) return std::nullopt;
        if (folder_takes_files(typed)) return folder;
        const QString question = QString("%1 does not exists.\n\nDo you want to create it?")
                                     .arg(QString::fromStdString(typed));
        if (ask(question, MB_YESNO_ICONQUESTION, &window_) != IDYES) {
            window_.focus_control(edit);
            return std::nullopt;
        }
        create_folder_path(folder);
        if (is_folder(folder)) return folder;
        return refuse(
                   QString("The folder %1 cannot be created.").arg(QString::fromStdString(folder)),
                   edit),
               std::nullopt;
    }

    bool folders() {
        const std::string target = text(IDC_TARGET);
        if (target.empty()) return refuse("Please choose a target folder", IDC_TARGET);
        if (!path_storable(target, IDC_TARGET)) return false;
        put("FOLDERS", "target", target);
        put_switch("PARAMS", "recurse", IDC_RECURSE);
        const std::optional<std::string> source =
            checked_folder(IDC_SOURCE, "Please choose a source folder");
        if (!source) return false;
        put("FOLDERS", "source", *source);
        return true;
    }

    bool size() {
        const int width = number(IDC_WIDTH);
        const int height = number(IDC_HEIGHT);
        if (width != 0 && height == 0) return refuse("Please enter a correct size", IDC_WIDTH);
        if (width == 0 && height != 0) return refuse("Please enter a correct size", IDC_HEIGHT);
        put("PARAMS", "size",
            width != 0 ? std::to_string(width) + "x" + std::to_string(height) : "");
        return true;
    }

    bool switches() {
        put_switch("PARAMS", "aspect_ratio", IDC_ASPECT_RATIO);
        put_switch("PARAMS", "mono_instance", IDC_MONO_INSTANCE);
        put("PARAMS", "erase", window_.is_checked(IDC_NO_ERASE) ? "0" : "1");
        return true;
    }

    bool formats() {
        const QTableWidget* list = window_.format_list();
        int row = 0;
        for (const FormatRow& format : format_rows()) {
            const bool on = list->item(row++, 0)->checkState() == Qt::Checked;
            put("FORMATS", format.key, on ? "1" : "0");
        }
        return true;
    }

    bool jpeg() {
        put_switch("PARAMS", "reproduce_path", IDC_REPRODUCE_PATH);
        put_switch("PARAMS", "reproduce_path_from_root", IDC_FROM_ROOT);
        put_switch("JPEG", "progressive", IDC_PROGRESSIVE);
        put("JPEG", "quality", std::clamp(number(IDC_QUALITY), 1, 99));
        return true;
    }

    bool pdf() {
        if (window_.is_checked(IDC_PDF_ALL)) {
            put("PDF", "extract_all", "1");
        } else {
            put("PDF", "extract_all", "0");
            put("PDF", "from_page", number(IDC_PDF_FROM));
            put("PDF", "to_page", number(IDC_PDF_TO));
        }
        put("PDF", "density", number(IDC_PDF_DENSITY));
        return true;
    }

    bool frames(const char* section, int all, int from_id, int to_id, int page) {
        if (window_.is_checked(all)) {
            put(section, "extract_all", "1");
            return true;
        }
        const int from = number(from_id);
        const int to = number(to_id);
        if ((from == 0 && to == 0) || to < from) {
            ask(QString("You chose to extract some frames from the %1 sources.\n\nPlease enter "
                        "correct values.")
                    .arg(section),
                MB_ICONWARNING, &window_);
            window_.switch_to_tab(page);
            return false;
        }
        put(section, "extract_all", "0");
        put(section, "extract_from", from);
        put(section, "extract_to", to);
        return true;
    }

    bool eps_tiff() {
        put("EPS", "density", number(IDC_EPS_DENSITY));
        put_switch("EPS", "trim", IDC_EPS_TRIM);
        put_switch("TIFF", "extract_all", IDC_TIFF_ALL);
        return true;
    }

    bool move() {
        if (!window_.is_checked(IDC_MOVE)) {
            put("PARAMS", "move", "0");
            return true;
        }
        put("PARAMS", "move", "1");
        const std::optional<std::string> folder =
            checked_folder(IDC_MOVE_PATH, "Please choose a move folder");
        if (!folder) return false;
        put("FOLDERS", "move_path", *folder);
        return true;
    }

    bool watermark_missing(int edit) {
        ask("Please enter the text or the file to be used as a watermark.", MB_ICONWARNING,
            nullptr);
        window_.switch_to_tab(PAGE_ENHANCEMENTS);
        window_.focus_control(edit);
        return false;
    }

    bool watermark() {
        if (!window_.is_checked(IDC_WATERMARK)) {
            put("PARAMS", "do_watermark", "0");
        } else if (window_.is_checked(IDC_WATERMARK_TEXT_MODE)) {
            put("PARAMS", "do_watermark", "1");
            const std::string words =
                window_.text_of(IDC_WATERMARK_TEXT).left(kWatermarkTextBuffer - 1).toStdString();
            if (words.empty()) return watermark_missing(IDC_WATERMARK_TEXT);
            put("PARAMS", "watermark_txt", words);
            put("PARAMS", "watermark_file", "");
        } else {
            put("PARAMS", "do_watermark", "2");
            const std::string file = text(IDC_WATERMARK_FILE);
            if (file.empty()) return watermark_missing(IDC_WATERMARK_FILE);
            if (!path_storable(file, IDC_WATERMARK_FILE)) return false;
            put("PARAMS", "watermark_txt", "");
            put("PARAMS", "watermark_file", file);
        }
        if (window_.is_checked(IDC_WATERMARK)) {
            put("PARAMS", "watermark_location",
                window_.control_as<QComboBox>(IDC_LOCATION)->currentIndex());
        }
        put("PARAMS", "watermark_color",
            std::to_string(static_cast<long>(window_.watermark_color())));
        put_switch("PARAMS", "watermark_tile", IDC_TILE);
        put("PARAMS", "watermark_dissolve", number(IDC_DISSOLVE));
        return true;
    }

    MonitorWindow& window_;
    ProfileEditor& job_;
};

// Why the edited file cannot replace the job file; empty when it can. A file larger
// than the readers take would be the defaults at the next start.
std::string too_large(const ProfileEditor& job) {
    const std::size_t limit = ProfileFile{}.limit;
    if (job.text().size() <= limit) return {};
    return "would be larger than " + std::to_string(limit / kMebibyte) +
           " MiB, more than the programs read";
}

}  // namespace

// A job file that cannot be read is never replaced: its keys would be lost.
int MonitorWindow::save_settings() {
    std::string reason;
    std::optional<ProfileEditor> job = ProfileEditor::open(job_file_, reason);
    QString outcome = "The settings cannot be saved: %1 %2.";
    if (job) {
        const std::string before = job->text();
        const bool checked = SettingsSaver(*this, *job).run();
        // Keys written before a failed check stay written, as with one write per key.
        if (job->text() == before) return checked ? 1 : 0;
        reason = too_large(*job);
        if (reason.empty() && job->save(reason)) return checked ? 1 : 0;
    } else {
        outcome +=
            "\n\nThe file is left as it is: the window replaces only a job file it could "
            "read, so that none of its settings is lost.";
    }
    desktop_.message_box(
        this, kMessageCaption,
        outcome.arg(QString::fromStdString(job_file_), QString::fromStdString(reason)),
        MB_ICONERROR);
    return 0;
}

}  // namespace morvane
