#include "log_viewing.h"

#include <cstdlib>

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include <sys/wait.h>

#include "dialog_table.h"
#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "path_util.h"
#include "temp_folder.h"

namespace morvane {
namespace {

// xdg-open's answers for "no program for this file" and "the program failed".
constexpr int kOpenerFoundNoTool = 3;
constexpr int kOpenerActionFailed = 4;

std::string opener_program() {
    const char* chosen = std::getenv("MORVANE_LOG_OPENER");
    return chosen != nullptr && *chosen != '\0' ? chosen : "xdg-open";
}

QString log_text(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromLocal8Bit(file.readAll());
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

void show_viewer(const QString& path, QWidget* owner) {
    auto* viewer = new LogViewer(path, owner);
    viewer->show();
}

}  // namespace

QString last_log_path() {
    const auto folder = user_temp_folder();
    if (!folder) return {};
    std::string path = *folder + "/" + kRunLogName;
    tidy_path(path);
    return QFile::decodeName(path.c_str());
}

void open_last_log(QWidget* owner, const Desktop& desktop, ChildWatch& children) {
    const QString path = last_log_path();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        desktop.message_box(owner, kMessageCaption, "No log file found in your temp folder",
                            MB_ICONINFORMATION);
        return;
    }
    std::string error;
    const pid_t opener =
        start_program(opener_program(), {QFile::encodeName(path).toStdString()}, error);
    if (opener < 0) {
        show_viewer(path, owner);
        return;
    }
    QPointer<QWidget> guarded(owner);
    children.watch(opener, [guarded, path](int status) {
        if (!guarded || !WIFEXITED(status)) return;
        const int code = WEXITSTATUS(status);
        if (code == kOpenerFoundNoTool || code == kOpenerActionFailed) show_viewer(path, guarded);
    });
}

LogViewer::LogViewer(const QString& path, QWidget* owner)
    : QDialog(owner),
      text_(new QPlainTextEdit(this)),
      find_(new QLineEdit(this)),
      found_(new QLabel(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString("Tarvik_morvane - %1").arg(path));
    set_control_id(this, IDD_LOG_VIEWER);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setPlainText(log_text(path));
    text_->setAccessibleName("Log");
    text_->setTabChangesFocus(true);
    auto* label = new QLabel("&Find:", this);
    label->setBuddy(find_);
    find_->setAccessibleName("Find");
    auto* next = new QPushButton("Find &next", this);
    auto* close = new QPushButton("&Close", this);
    set_control_id(text_, IDC_LOG_TEXT);
    set_control_id(find_, IDC_LOG_FIND);
    set_control_id(next, IDC_LOG_FIND_NEXT);
    set_control_id(found_, IDC_LOG_FOUND);
    set_control_id(close, IDC_LOG_CLOSE);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label);
    bottom->addWidget(find_, 1);
    bottom->addWidget(next);
    bottom->addWidget(found_);
    bottom->addStretch();
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(bottom);
    connect(find_, &QLineEdit::returnPressed, this, [this] { (void)find_next(); });
    connect(next, &QPushButton::clicked, this, [this] { (void)find_next(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    next->setAutoDefault(false);
    close->setAutoDefault(false);

    const QFontMetrics metrics(text_->font());
    resize(metrics.horizontalAdvance('M') * 100, metrics.lineSpacing() * 30);
    // The end of a run is where a user looks first.
    text_->moveCursor(QTextCursor::End);
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
    find_->setFocus();
}

bool LogViewer::find_next() {
    const QString wanted = find_->text();
    if (wanted.isEmpty()) return false;
    bool found = text_->find(wanted);
    if (!found) {
        text_->moveCursor(QTextCursor::Start);
        found = text_->find(wanted);
    }
    found_->setText(found ? QString() : QString("Not found"));
    return found;
}

}  // namespace morvane
