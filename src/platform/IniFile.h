#pragma once

#include <QByteArray>
#include <QString>

// A small INI reader and writer of 8-bit text. Section and key names match without regard to
// case, blanks around a value are not part of it, and a write changes one line only: every
// other line, comments and line ends included, is kept as it stands.
namespace IniFile {

// The value of key in section, or an empty text when the file, section or key is absent.
QByteArray read(const QString& path, const QByteArray& section, const QByteArray& key);

// Stores "key=value" in section, replacing the key's line in place or adding it, and creating
// the section and the file as needed. The file is replaced atomically; false when it could
// not be written, in which case it is left as it was.
bool write(const QString& path, const QByteArray& section, const QByteArray& key,
           const QByteArray& value);

} // namespace IniFile
