#pragma once
// The file-list file "t.log" of the temporary folder, which the next monitored run
// converts instead of the source folder: "[FILES]" and one numbered path per line.

#include <QString>
#include <QStringList>

namespace morvane {

// The file's exact bytes: "[FILES]\r\n" and "<i>=<path>\r\n" for each path from 0 on.
[[nodiscard]] QByteArray file_list_bytes(const QStringList& paths);

// Replaces "<folder>/t.log" (kFileListName) whole or not at all (a private temporary file renamed
// over it); false with `error` saying why when it cannot be written.
[[nodiscard]] bool write_file_list(const QString& folder, const QStringList& paths, QString& error);

}  // namespace morvane
