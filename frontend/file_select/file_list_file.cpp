#include "file_list_file.h"

#include <QFile>

#include "fd_io.h"
#include "job_keys.h"
#include "path_util.h"

namespace morvane {

QByteArray file_list_bytes(const QStringList& paths) {
    QByteArray bytes("[FILES]\r\n");
    for (qsizetype i = 0; i < paths.size(); ++i) {
        bytes += QByteArray::number(i) + '=' + QFile::encodeName(paths[i]) + "\r\n";
    }
    return bytes;
}

bool write_file_list(const QString& folder, const QStringList& paths, QString& error) {
    std::string target = QFile::encodeName(folder).toStdString() + "/" + kFileListName;
    tidy_path(target);
    const QByteArray bytes = file_list_bytes(paths);
    std::string reason;
    if (replace_whole(target,
                      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                      0600, reason)) {
        return true;
    }
    error = QString::fromLocal8Bit(reason.c_str());
    return false;
}

}  // namespace morvane
