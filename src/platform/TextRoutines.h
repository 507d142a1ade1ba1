#pragma once

#include <QByteArray>
#include <QString>

// Stateless text helpers shared by the whole program.
namespace TextRoutines {

// The text without its NUL, LF and CR characters; every other character stays, in order.
QByteArray stripControlChars(const QByteArray& text);
QString stripControlChars(const QString& text);

// A number as the boxes show it: one blank before zero or a positive value, "-" before a
// negative one (" 1234", "-232").
QString numberText(qint64 value);

// Pads a text of 1 to 3 characters with leading zeros to four; other lengths are returned as
// they are.
QString padHex4(const QString& text);

} // namespace TextRoutines
