#pragma once

#include <QByteArray>
#include <QString>

// A small INI reader and writer of 8-bit text that treats the file as the Windows profile
// routines do. Section and key names match without regard to case and without the blanks
// around them, and only the first section of a name counts, for reading as for writing. A write
// changes one line only: every other line, comments and line ends included, is kept as it
// stands.
namespace IniFile {

// The value of key in section without the blanks around it and without one pair of matching
// enclosing quotes ("..." or '...'); an empty text when the file, section or key is absent.
QByteArray read(const QString& path, const QByteArray& section, const QByteArray& key);

// Stores value for key in section. A key already there keeps its line, indentation and
// spelling; only what follows its '=' becomes value. Otherwise "key=value" is added after the
// section's last entry, or at the end of the file under a new "[section]" line. Lines the write
// adds end like the file's first line, with CRLF in a file that has no line end yet (a new file
// included), and so does a replaced last line that had none.
// The file is replaced atomically. False, and the file left as it was, when it could not be
// written or when the text could not be read back: a line break in any argument, an empty key,
// a key holding '=' or starting with '[', ';' or '#', or a section name holding ']'.
bool write(const QString& path, const QByteArray& section, const QByteArray& key,
           const QByteArray& value);

} // namespace IniFile
