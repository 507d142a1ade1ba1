#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A ticket's bytes as the operator reads them before a download: as text with the control bytes
// named the way the traffic log names them, as a hex dump, and by size and checksum.
namespace TicketPreview {

// A stretch of the text: the ticket's own printable text (line breaks of the view included), or
// one byte shown by its name, which a view marks so that it cannot pass for a placeholder of the
// ticket's own such as "<GROSS>".
struct Piece {
    QString text;
    bool named = false;
};

// The text below in pieces: runs of printable text, and each other byte a piece of its own.
QList<Piece> pieces(const QByteArray& bytes);

// Every byte through TextRoutines::describeBytes ("<ESC>" is "<0x1B>", as in the log), with a
// line break after each <LF>, so that a CR LF ticket reads line by line. A bare CR does not
// break the line: the printer only returns its carriage there.
QString text(const QByteArray& bytes);

// 16 bytes a line: an 8-digit hex offset, the bytes in hex (a wider gap after the eighth), and
// the printable ASCII between bars with '.' for every other byte. Empty for no bytes.
QString hexDump(const QByteArray& bytes);

// The SHA-256 of the bytes, 64 lower-case hex digits.
QString sha256(const QByteArray& bytes);

// "204 bytes, SHA-256 9f86d0..." (and "1 byte").
QString summary(const QByteArray& bytes);

} // namespace TicketPreview
