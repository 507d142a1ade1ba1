#include "link/IndicatorProtocol.h"

#include "platform/TextRoutines.h"

namespace IndicatorProtocol {

QString hex4(qint32 value)
{
    return TextRoutines::padHex4(QString::number(value, 16).toUpper());
}

QByteArray writeCommand(qint32 address, const QByteArray& dataDigits)
{
    return kWritePrefix + hex4(address).toLatin1() + '-' + dataDigits + kCr;
}

QByteArray dataDigits(const char* bytes)
{
    return QByteArray::fromRawData(bytes, kBytesPerWrite).toHex().toUpper();
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
