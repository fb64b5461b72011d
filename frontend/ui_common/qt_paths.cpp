#include "qt_paths.h"

#include <QFile>

#include "path_util.h"

namespace morvane {

QString tidied_path(const QString& path) {
    std::string text = QFile::encodeName(path).toStdString();
    tidy_path(text);
    return QFile::decodeName(QByteArray::fromStdString(text));
}

QString joined_path(const QString& folder, const QString& name) {
    return QFile::decodeName(QByteArray::fromStdString(
        join_path(QFile::encodeName(folder).toStdString(), QFile::encodeName(name).toStdString())));
}

}  // namespace morvane
