// Loading the Monitor window from its job file: every control takes the stored value or
// the window's default for that key.

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QPalette>
#include <QTabBar>
#include <QTableWidget>

#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "monitor_window.h"
#include "profile.h"

namespace morvane {
namespace {

// Reads keys with the window's defaults from the job-key table.
class StoredJob {
  public:
    explicit StoredJob(const Profile& profile) : profile_(profile) {}

    [[nodiscard]] int number(std::string_view section, std::string_view key) const {
        return profile_.get_int(section, key, fe_default_int(section, key));
    }
    [[nodiscard]] bool on(std::string_view section, std::string_view key) const {
        return number(section, key) != 0;
    }
    // A number as an unsigned field shows it; the window never shows a negative one.
    [[nodiscard]] QString digits(std::string_view section, std::string_view key) const {
        return QString::number(std::max(number(section, key), 0));
    }
    // Texts are cut to their buffers; paths are shown whole, so that the saving can
    // refuse one that is too long instead of storing another folder.
    [[nodiscard]] QString text(std::string_view section, std::string_view key) const {
        const JobKey& row = job_key(section, key);
        if (row.kind == KeyKind::Path) {
            const std::string_view value = profile_.value(section, key);
            return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
        }
        return QString::fromStdString(
            profile_.get_string(section, key, row.fe_default, row.buffer));
    }
    [[nodiscard]] const Profile& profile() const { return profile_; }

  private:
    const Profile& profile_;
};

void load_formats(MonitorWindow& window, const StoredJob& job) {
    QTableWidget* list = window.format_list();
    int row = 0;
    for (const FormatRow& format : format_rows()) {
        const bool on = job.profile().get_int("FORMATS", format.key, 0) != 0;
        list->item(row++, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

void load_folders_and_switches(MonitorWindow& window, const StoredJob& job) {
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
void load_size(MonitorWindow& window, const StoredJob& job) {
    const QString size = job.text("PARAMS", "size");
    const qsizetype x = size.indexOf('x');
    if (x < 0) return;
    window.set_text(IDC_WIDTH, size.left(x));
    window.set_text(IDC_HEIGHT, size.mid(x + 1));
}

void load_frames(MonitorWindow& window, const StoredJob& job, const char* section, int all,
                 int range, int from, int to) {
    window.set_text(from, job.digits(section, "extract_from"));
    window.set_text(to, job.digits(section, "extract_to"));
    const bool every_frame = job.on(section, "extract_all");
    window.set_checked(every_frame ? all : range, true);
}

void load_documents(MonitorWindow& window, const StoredJob& job) {
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

void load_watermark(MonitorWindow& window, const StoredJob& job) {
    const int mode = job.number("PARAMS", "do_watermark");
    window.set_checked(IDC_WATERMARK, mode != 0);
    if (mode == 1) {
        window.set_text(IDC_WATERMARK_TEXT, job.text("PARAMS", "watermark_txt"));
        window.set_checked(IDC_WATERMARK_TEXT_MODE, true);
    } else if (mode == 2) {
        window.set_text(IDC_WATERMARK_FILE, job.text("PARAMS", "watermark_file"));
        window.set_checked(IDC_WATERMARK_IMAGE_MODE, true);
    }
    const std::string color =
        job.profile().get_string("PARAMS", "watermark_color", "", kColorBuffer);
    window.set_watermark_color(color.empty()
                                   ? bgr_of(QApplication::palette().color(QPalette::Button))
                                   : static_cast<std::uint32_t>(profile_text_to_int(color)));
    const int location = job.number("PARAMS", "watermark_location");
    window.control_as<QComboBox>(IDC_LOCATION)
        ->setCurrentIndex(location >= 0 && location <= 8 ? location : -1);
    window.set_checked(IDC_TILE, job.on("PARAMS", "watermark_tile"));
    window.set_text(IDC_DISSOLVE, job.digits("PARAMS", "watermark_dissolve"));
}

}  // namespace

void load_settings(MonitorWindow& window) {
    const Profile profile = Profile::load(window.job_file());
    const StoredJob job(profile);
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
    if (!profile.refusal().empty()) {
        window.desktop().message_box(
            &window, kMessageCaption,
            QString("The settings file %1 %2.\n\nThe window shows the default settings.")
                .arg(QString::fromStdString(window.job_file()),
                     QString::fromStdString(profile.refusal())),
            MB_ICONWARNING);
    }
}

}  // namespace morvane
