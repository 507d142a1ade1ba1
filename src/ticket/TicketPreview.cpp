#include "ticket/TicketPreview.h"

#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <QCryptographicHash>

namespace TicketPreview {

namespace {
constexpr int kBytesPerLine = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";
} // namespace

QString text(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) != '\n')
            continue;
        out += TextRoutines::describeBytes(bytes.mid(lineStart, i + 1 - lineStart));
        out += '\n';
        lineStart = i + 1;
    }
    out += TextRoutines::describeBytes(bytes.mid(lineStart));
    return QString::fromLatin1(out);
}

QString hexDump(const QByteArray& bytes)
{
    QByteArray out;
    const qsizetype lines = (bytes.size() + kBytesPerLine - 1) / kBytesPerLine;
    out.reserve(lines * 79);
    for (qsizetype offset = 0; offset < bytes.size(); offset += kBytesPerLine) {
        out += QByteArray::number(offset, 16).toUpper().rightJustified(8, '0');
        out += ' ';
        QByteArray ascii;
        for (int k = 0; k < kBytesPerLine; ++k) {
            if (k == kBytesPerLine / 2)
                out += ' ';
            if (offset + k >= bytes.size()) {
                // The last line's ASCII column stays in line with the full lines above it.
                out += "   ";
                continue;
            }
            const auto code = static_cast<uchar>(bytes.at(offset + k));
            out += ' ';
            out += kHexDigits[code >> 4];
            out += kHexDigits[code & 0x0F];
            ascii += (code >= 0x20 && code < 0x7F) ? char(code) : '.';
        }
        out += "  |" + ascii + "|\n";
    }
    return QString::fromLatin1(out);
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString summary(const QByteArray& bytes)
{
    const QString size =
        bytes.size() == 1
            ? QCoreApplication::translate("TicketPreview", "1 byte")
            : QCoreApplication::translate("TicketPreview", "%1 bytes").arg(bytes.size());
    return QCoreApplication::translate("TicketPreview", "%1, SHA-256 %2").arg(size, sha256(bytes));
}

} // namespace TicketPreview
