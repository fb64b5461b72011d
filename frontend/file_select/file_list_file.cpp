#include "file_list_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include "fd_io.h"
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
    std::string target = QFile::encodeName(folder).toStdString() + "/" + kFileListFileName;
    tidy_path(target);
    std::string temporary = target + ".XXXXXX";
    const QByteArray bytes = file_list_bytes(paths);
    // mkstemp makes the file with mode 0600 and never follows a link.
    UniqueFd fd(::mkstemp(temporary.data()));
    const bool written =
        fd && write_all(fd.get(), bytes.constData(), static_cast<std::size_t>(bytes.size())) &&
        ::fsync(fd.get()) == 0 && fd.close() && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (written) return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    if (fd) (void)fd.close();
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace morvane
