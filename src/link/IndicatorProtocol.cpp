#include "link/IndicatorProtocol.h"

#include "platform/TextRoutines.h"

namespace IndicatorProtocol {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

QString hex4(qint32 value)
{
    return TextRoutines::padHex4(QString::number(value, 16).toUpper());
}

QByteArray writeCommand(qint32 address, const QByteArray& dataDigits)
{
    const QByteArray addressDigits = hex4(address).toLatin1();
    QByteArray command;
    command.reserve(kWritePrefix.size() + addressDigits.size() + 1 + dataDigits.size() + 1);
    command.append(kWritePrefix);
    command.append(addressDigits);
    command.append('-');
    command.append(dataDigits);
    command.append(kCr);
    return command;
}

QByteArray dataDigits(const char* bytes)
{
    QByteArray digits;
    digits.reserve(2 * kBytesPerWrite);
    for (int i = 0; i < kBytesPerWrite; ++i) {
        const auto b = static_cast<uchar>(bytes[i]);
        digits.append(kHexDigits[b >> 4]);
        digits.append(kHexDigits[b & 0x0F]);
    }
    return digits;
}

QByteArray versionText(const QByteArray& replyText)
{
    const QByteArray cleaned = TextRoutines::stripControlChars(replyText);
    const qsizetype v = cleaned.indexOf('V');
    return v < 0 ? cleaned : cleaned.mid(v);
}

QByteArray serialText(const QByteArray& replyText)
{
    return TextRoutines::stripControlChars(replyText);
}

} // namespace IndicatorProtocol
