#include "install_wizard.h"

#include <array>
#include <cstdlib>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <unistd.h>

#include "artwork.h"
#include "copy_step.h"
#include "dialog_table.h"
#include "install_record.h"
#include "link_ids.h"
#include "path_util.h"
#include "program_group.h"
#include "qt_paths.h"

namespace morvane {
namespace {

constexpr const char* kCaption = "Tarvik_morvane";
constexpr int kPageWidth = 316;
constexpr int kPageHeight = 170;

// A font of the given height: the screen's dots per inch times N over 110, in pixels.
QFont wizard_font(const QWidget* page, const QString& family, int n, bool bold, bool italic) {
    QFont font(family);
    font.setPixelSize(std::max(1, (page->logicalDpiY() * n + 55) / 110));
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// A page laid out in dialog units, with its picture on the left. The units grow evenly
// until every text fits its rectangle in the font at hand, as wide fonts need.
class Page : public QWizardPage {
  public:
    Page(const char* caption, bool welcome) : welcome_(welcome) {
        setWindowTitle(caption);
        setAccessibleName(caption);
        picture_ = new QLabel(this);
        picture_->setAccessibleName("Picture");
    }

  protected:
    template <class W>
    W* place(W* widget, int id, int x, int y, int w, int h) {
        placed_.push_back({widget, QRect(x, y, w, h)});
        if (id > 0) set_control_id(widget, id);
        return widget;
    }
    QLabel* text(int id, const QString& caption, int x, int y, int w, int h) {
        auto* label = place(new QLabel(caption, this), id, x, y, w, h);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    InstallWizard* owner() const { return static_cast<InstallWizard*>(wizard()); }

    DialogUnits units_{1, 1};

  public:
    // The smallest growth, in percent of the font's units, at which every text fits.
    [[nodiscard]] int needed_percent() {
        for (int percent = 100; percent < 200; percent += 5) {
            units_ = scaled(percent);
            if (everything_fits()) return percent;
        }
        return 200;
    }
    // Places everything at the growth every page of the wizard shares.
    void lay_out(int percent) {
        units_ = scaled(percent);
        for (const auto& [widget, at] : placed_) {
            QRect rect = units_.rect(at.x(), at.y(), at.width(), at.height());
            // A control inside a group box is placed in the box's own coordinates.
            if (widget->parentWidget() != this) rect.translate(-widget->parentWidget()->pos());
            widget->setGeometry(rect);
        }
        const QRect picture = units_.rect(7, 7, welcome_ ? 97 : 86, 156);
        picture_->setGeometry(picture);
        picture_->setPixmap(side_picture(picture.size(), welcome_));
        setFixedSize(units_.x(kPageWidth), units_.y(kPageHeight));
    }
    // The wizard sizes itself from its pages' hints; a page without a layout has none.
    [[nodiscard]] QSize sizeHint() const override { return minimumSize(); }
    [[nodiscard]] QSize minimumSizeHint() const override { return minimumSize(); }

  private:
    [[nodiscard]] DialogUnits scaled(int percent) const {
        const DialogUnits font_units(font());
        return DialogUnits(font_units.x(4) * percent / 100, font_units.y(8) * percent / 100);
    }
    bool everything_fits() const {
        for (const auto& [widget, at] : placed_) {
            const auto* label = qobject_cast<const QLabel*>(widget);
            if (label == nullptr || label->text().isEmpty()) continue;
            const QRect rect = units_.rect(at.x(), at.y(), at.width(), at.height());
            const QFontMetrics metrics(label->font());
            const QRect needed = metrics.boundingRect(QRect(0, 0, rect.width(), 10000),
                                                      Qt::TextWordWrap, label->text());
            if (needed.width() > rect.width() || needed.height() > rect.height()) return false;
        }
        return true;
    }

    bool welcome_;
    QLabel* picture_;
    std::vector<std::pair<QWidget*, QRect>> placed_;
};

class WelcomePage : public Page {
  public:
    WelcomePage() : Page("Tarvik_morvane  -  Setup", true) {
        QLabel* title = text(1007, "Tarvik_morvane\n\nVersion " MORVANE_VERSION, 109, 7, 88, 25);
        title->setFont(wizard_font(this, font().family(), 12, true, false));
        auto* rule = place(new QFrame(this), 0, 109, 41, 201, 1);
        rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
        text(0,
             "Welcome to the Tarvik_morvane Setup program.\nThis program will install "
             "Tarvik_morvane on your computer.",
             109, 54, 200, 19);
        text(0,
             "It is strongly recommended that you exit all Windows programs before running "
             "this Setup program.",
             109, 80, 186, 20);
        text(0, "Click Next to continue the installation or Cancel to exit.", 109, 153, 186, 9);
    }
};

class DestinationPage : public Page {
  public:
    DestinationPage() : Page("Tarvik_morvane  -  Setup", false) {
        text(0,
             "Setup will install Tarvik_morvane in the following directory.\n\nTo install to "
             "this directory click Next\n\nTo install to a different directory click Browse "
             "and select another directory.",
             107, 7, 202, 57);
        // The box holds the edit and its button, so that its mnemonic reaches the edit.
        auto* group = place(new QGroupBox("&Destination Directory", this), 1001, 106, 130, 203, 33);
        box_ = place(new QLineEdit(group), 1006, 111, 143, 141, 14);
        box_->setAccessibleName("Destination Directory");
        auto* browse = place(new QPushButton("B&rowse...", group), 1002, 255, 143, 46, 13);
        connect(browse, &QPushButton::clicked, this, [this] { this->browse(); });
    }

    void initializePage() override {
        if (shown_) return;
        shown_ = true;
        box_->setText(default_install_folder());
    }

    bool validatePage() override {
        const QString folder = box_->text();
        const Desktop& desktop = owner()->desktop();
        if (folder.isEmpty()) return refuse("Please select the install folder");
        // Cutting a longer one would install somewhere else than the user typed.
        if (!path_fits(QFile::encodeName(tidied_path(folder)).toStdString())) {
            return refuse(QString("%1\n\nThis folder name is longer than %2 characters. Please "
                                  "choose a shorter one.")
                              .arg(quoted_folder(folder))
                              .arg(kLongestJobPath));
        }
        if (!can_take_a_file(folder) &&
            desktop.message_box(
                this, kCaption,
                QString("%1 does not exists.\nDo you want to create it?").arg(folder),
                MB_YESNO_ICONQUESTION) != IDYES) {
            box_->setFocus();
            return false;
        }
        const QString path = tidied_path(folder);
        (void)QDir().mkpath(path);  // a folder that cannot be made shows up as a failed copy
        owner()->set_install_folder(path);
        return true;
    }

  private:
    bool refuse(const QString& text) {
        QApplication::beep();
        owner()->desktop().message_box(this, kCaption, text, MB_ICONERROR);
        box_->setFocus();
        return false;
    }

    // A folder as a message shows it: a very long one is cut in its middle.
    static QString quoted_folder(const QString& folder) {
        constexpr qsizetype kHead = 200;
        constexpr qsizetype kTail = 60;
        if (folder.size() <= kHead + kTail) return folder;
        return folder.left(kHead) + QChar(0x2026) + folder.right(kTail);
    }

    // The probe: a file made and removed again.
    static bool can_take_a_file(const QString& folder) {
        std::string probe = QFile::encodeName(folder).toStdString() + "/HXXXXXX";
        const int fd = ::mkstemp(probe.data());
        if (fd < 0) return false;
        ::close(fd);
        ::unlink(probe.c_str());
        return true;
    }

    void browse() {
        const QString chosen = owner()->desktop().choose_folder(this, "Select the install folder:");
        if (!chosen.isEmpty()) box_->setText(chosen);
    }

    QLineEdit* box_;
    bool shown_ = false;
};

class OptionsPage : public Page {
  public:
    OptionsPage() : Page("Tarvik_morvane  -  Install", false) {
        QLabel* title = text(1007, "Install options", 103, 7, 206, 23);
        title->setFont(wizard_font(this, "Times New Roman", 32, true, true));
        group_ = place(new QCheckBox("&Create a group", this), 1025, 103, 44, 200, 10);
        text(1006, "", 103, 86, 149, 8);
        QLabel* hint = text(1035, "Click on Next to continue install", 104, 147, 206, 16);
        hint->setFont(wizard_font(this, font().family(), 9, false, false));
    }

    void initializePage() override {
        if (shown_) return;
        shown_ = true;
        group_->setChecked(true);
    }

    bool validatePage() override {
        owner()->set_create_group(group_->isChecked());
        return true;
    }

  private:
    QCheckBox* group_;
    bool shown_ = false;
};

class SummaryPage : public Page {
  public:
    SummaryPage() : Page("Tarvik_morvane  -  Setup", false) {
        summary_ = {text(1007, "You are now ready to install Tarvik_morvane.", 103, 7, 196, 11),
                    place(new QGroupBox(this), 1040, 103, 20, 206, 123),
                    text(1037, "", 109, 31, 193, 8),
                    text(1042, "Create a group Tarvik_morvane", 109, 91, 196, 8),
                    text(1035, "Click Next to copy.", 103, 155, 206, 8)};
        from_ = text(1003, "", 139, 132, 168, 8);
        to_ = text(1004, "", 139, 148, 168, 8);
        for (QLabel* line : {from_, to_}) line->setWordWrap(false);
        summary_[1]->lower();
        summary_[1]->setAccessibleName("Summary");
        // The copy lines come up with the copy, where the closing line was.
        from_->hide();
        to_->hide();
    }

    void initializePage() override {
        if (shown_) return;
        shown_ = true;
        findChild<QLabel*>("1037")->setText(owner()->install_folder());
        findChild<QLabel*>("1042")->setVisible(owner()->create_group());
    }

    bool validatePage() override;

  private:
    void show_lines(const std::string& from, const std::string& to) {
        from_->setText(QFile::decodeName(from.c_str()));
        to_->setText(QFile::decodeName(to.c_str()));
        from_->show();
        to_->show();
        repaint();
    }
    bool install();

    std::array<QWidget*, 5> summary_{};
    QLabel* from_;
    QLabel* to_;
    bool shown_ = false;
};

bool SummaryPage::validatePage() {
    for (QWidget* part : summary_) part->hide();
    repaint();
    if (install()) return true;
    owner()->fail();
    return false;
}

// The libraries first, then the files, the menu entries and the record for uninst.
bool SummaryPage::install() {
    const std::string installer = owner()->installer_folder();
    const std::vector<std::string> packages = missing_packages(installer);
    if (!packages.empty()) {
        QStringList names;
        for (const std::string& name : packages) names << QString::fromStdString(name);
        owner()->desktop().message_box(
            this, kCaption,
            "Some libraries the programs need are not installed. Install them with:\n\n"
            "sudo apt-get install " +
                names.join(' '),
            MB_ICONERROR);
        return false;
    }
    const std::string folder = QFile::encodeName(owner()->install_folder()).toStdString();
    InstallRecord record;
    std::string error;
    const auto progress = [this](const std::string& from, const std::string& to) {
        show_lines(from, to);
    };
    if (!copy_product(installer, folder, progress, record, error)) return false;
    if (owner()->create_group()) {
        ProgramGroup group(menu_places());
        for (const std::string& command : group_commands(folder)) (void)group.execute(command);
        record.menu_files = group.written();
    }
    record.files.emplace_back(kInstallRecordName, "");
    return write_install_record(folder, record, error);
}

class FinishedPage : public Page {
  public:
    FinishedPage() : Page("Tarvik_morvane  -  Install          ", false) {
        text(0,
             "The installation of Tarvik_morvane is now finished.\nThe following icons have "
             "been created:",
             109, 7, 200, 22);
        icon(109, 38, false);
        text(0, "Setup", 135, 43, 156, 8);
        icon(110, 62, true);
        text(0, "Help", 136, 67, 108, 8);
    }

  private:
    void icon(int x, int y, bool help) {
        auto* picture = place(new QLabel(this), 0, x, y, 20, 20);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setPixmap(item_icon(help));
        picture->setAccessibleName(help ? "Help icon" : "Setup icon");
    }
};

}  // namespace

QString default_install_folder() {
    if (::geteuid() == 0) return "/opt/Tarvik_morvane";
    return QDir::homePath() + "/.local/opt/Tarvik_morvane";
}

std::unique_ptr<QDialog> make_failure_dialog(QWidget* owner) {
    auto dialog = std::make_unique<QDialog>(owner);
    dialog->setWindowTitle(kCaption);
    set_control_id(dialog.get(), 114);
    const DialogUnits units(dialog->font());
    auto* icon = new QLabel(dialog.get());
    icon->setPixmap(dialog->style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    icon->setGeometry(units.rect(7, 7, 0, 0).x(), units.rect(7, 7, 0, 0).y(), 32, 32);
    icon->setAccessibleName("Error");
    auto* message =
        new QLabel("The installation of Tarvik_morvane has failed.\n\nPlease run install again.",
                   dialog.get());
    message->setGeometry(units.rect(40, 14, 157, 40));
    message->setWordWrap(true);
    set_control_id(message, 1007);
    auto* ok = new QPushButton("OK", dialog.get());
    ok->setGeometry(units.rect(76, 67, 50, 14));
    ok->setDefault(true);
    set_control_id(ok, 1);
    auto* cancel = new QPushButton("Cancel", dialog.get());
    cancel->hide();
    set_control_id(cancel, 2);
    QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog.get(), &QDialog::reject);
    dialog->setFixedSize(units.x(204), units.y(90));
    return dialog;
}

void run_failure_dialog(QWidget* owner) {
    const std::unique_ptr<QDialog> dialog = make_failure_dialog(owner);
    centre_on_screen(dialog.get());
    dialog->exec();
}

InstallWizard::InstallWizard(const Desktop& desktop, std::string installer_folder)
    : desktop_(desktop), installer_folder_(std::move(installer_folder)) {
    setWindowTitle("Tarvik_morvane - Install wizzard");
    setObjectName("install");
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    const std::array<Page*, 5> pages{new WelcomePage, new DestinationPage, new OptionsPage,
                                     new SummaryPage, new FinishedPage};
    int percent = 100;
    for (Page* page : pages) percent = std::max(percent, page->needed_percent());
    for (std::size_t id = 0; id < pages.size(); ++id) {
        pages[id]->lay_out(percent);
        setPage(static_cast<int>(id), pages[id]);
    }
    for (const auto& [button, id] : {std::pair{QWizard::BackButton, 12323},
                                     {QWizard::NextButton, 12324},
                                     {QWizard::FinishButton, 12325},
                                     {QWizard::CancelButton, 2}}) {
        set_control_id(this->button(button), id);
    }
    show_failure_ = [this] { run_failure_dialog(this); };
    connect(this, &QWizard::currentIdChanged, this, &InstallWizard::page_activated);
    setStartId(kWelcome);
}

// The buttons each page offers, and the welcome page's reset of the option.
void InstallWizard::page_activated(int id) {
    using B = QWizard::WizardButton;
    QList<B> layout{QWizard::Stretch};
    if (id == kDestination || id == kOptions || id == kFinished) layout << QWizard::BackButton;
    layout << (id == kFinished ? QWizard::FinishButton : QWizard::NextButton)
           << QWizard::CancelButton;
    setButtonLayout(layout);
    focus_first(id);
    if (id == kWelcome) {
        create_group_ = false;
        // The window takes its pages' size once the layout has seen them.
        QTimer::singleShot(0, this, [this] {
            resize(sizeHint());
            centre_on_screen(this);
        });
    }
}

// Where a person starts reading the page: its first control that takes the focus, else
// Next or Finish, the button Enter presses. The focus never stays on a button the page
// hides, where Enter would press a button that is not offered.
void InstallWizard::focus_first(int id) {
    QWizardPage* shown = page(id);
    if (shown == nullptr) return;  // the wizard has ended
    for (QWidget* next = shown->nextInFocusChain(); next != shown && shown->isAncestorOf(next);
         next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && next->isVisibleTo(shown)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    button(id == kFinished ? QWizard::FinishButton : QWizard::NextButton)
        ->setFocus(Qt::TabFocusReason);
}

void InstallWizard::fail() {
    show_failure_();
    exit_code_ = 0;
    done(QDialog::Rejected);
}

void InstallWizard::reject() {
    show_failure_();
    exit_code_ = currentId() <= kDestination ? 1 : 0;
    QWizard::reject();
}

}  // namespace morvane
