#include "ticket/TicketPreview.h"

#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <utility>

namespace TicketPreview {

namespace {
constexpr int kBytesPerLine = 16;
constexpr char kHexDigits[] = "0123456789ABCDEF";
} // namespace

QList<Piece> pieces(const QByteArray& bytes)
{
    QList<Piece> out;
    QByteArray plain;
    const auto addPlain = [&] {
        if (!plain.isEmpty())
            out.append({QString::fromLatin1(std::exchange(plain, {})), false});
    };
    for (const char c : bytes) {
        const QByteArray shown = TextRoutines::describeBytes(QByteArray(1, c));
        if (shown.size() == 1) {
            plain += shown;
            continue;
        }
        addPlain();
        out.append({QString::fromLatin1(shown), true});
        if (c == '\n')
            plain += '\n';
    }
    addPlain();
    return out;
}

QString text(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size() * 2);
    for (const Piece& piece : pieces(bytes))
        out += piece.text;
    return out;
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
