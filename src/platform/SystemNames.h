#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

// Names as the system gives them: on Linux a file name or an argument is bytes, which need not
// be UTF-8 text. Each byte outside UTF-8 text becomes one of U+DC80 to U+DCFF, as Python's
// "surrogateescape" does, so that the name finds the same file again.
namespace SystemNames {

QString fromBytes(const QByteArray& bytes);
QByteArray toBytes(const QString& name);

// The path from the folder `base` (the working folder when empty), by text alone: QFileInfo
// would lose escaped bytes on the way through the system's encoding.
QString absolutePath(const QString& path, const QString& base = {});

// Opens the file for reading, also when its name came from fromBytes() with such bytes in it;
// on failure *error says why, as QFile::errorString() does.
bool openForReading(QFile& file, const QString& path, QString* error);
// The file's first `limit` + 1 bytes at most, so that a caller can tell a file over its limit
// without holding all of it; nothing on failure, and *error says why. *fileSize, when asked,
// is the size the system gives the file (0 for a device or a pipe).
std::optional<QByteArray> readStart(const QString& path, qint64 limit, QString* error,
                                    qint64* fileSize = nullptr);

} // namespace SystemNames
