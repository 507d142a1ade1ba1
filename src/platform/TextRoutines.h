#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

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

// Bytes as the traffic log and the ticket preview show them: printable ASCII as is, control
// bytes and bytes from 0x7F up named (<NUL>, <ACK>, <LF>, <CR>, <NAK>, else <0x1B> and the like).
QByteArray describeBytes(const QByteArray& bytes);

// A text for a terminal: the control characters (C0, DEL, C1) named as describeBytes names their
// bytes, so that no text from an indicator or a file can move the cursor, retitle or clear the
// screen; every other character stays.
QString describeControls(const QString& text);

// A text quoted in a message stays within a line of the terminal.
constexpr qsizetype kQuotedLength = 60;

// The text when it has at most maxLength characters, else its start and "..." in that length:
// whatever a message quotes from a file or an argument.
QString cutText(const QString& text, qsizetype maxLength = kQuotedLength);

// One line of comma-separated values, ended by CRLF: a field holding a comma, a quote, a line
// break or a blank at either end stands in quotes, its quotes doubled; the others stand as they
// are.
QString csvLine(const QStringList& fields);

// A field that a spreadsheet must read as text, never run: one starting with =, +, - or @ (a
// formula), or with a tab or a CR (which some spreadsheets skip before looking for one), gets a
// leading apostrophe; any other is returned as it is.
QString csvText(const QString& text);

// A number of at least two digits, zero-padded: "05", "42", "123".
QString twoDigits(qint64 value);

// The time in `format`, then its UTC offset as ISO 8601 writes it ("+01:00", "-03:30", "+00:00",
// never "Z"), so that a time read elsewhere still tells when.
QString timeWithOffset(const QDateTime& time, const QString& format);

} // namespace TextRoutines
