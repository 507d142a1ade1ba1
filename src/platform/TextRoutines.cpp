#include "platform/TextRoutines.h"

namespace TextRoutines {

namespace {
constexpr bool isStripped(uint code)
{
    return code == 0 || code == 10 || code == 13;
}
} // namespace

QByteArray stripControlChars(const QByteArray& text)
{
    QByteArray result;
    result.reserve(text.size());
    for (const char c : text) {
        if (!isStripped(static_cast<uchar>(c)))
            result.append(c);
    }
    return result;
}

QString stripControlChars(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!isStripped(c.unicode()))
            result.append(c);
    }
    return result;
}

QString numberText(qint64 value)
{
    return value < 0 ? QString::number(value) : u' ' + QString::number(value);
}

QString padHex4(const QString& text)
{
    if (text.isEmpty() || text.size() >= 4)
        return text;
    return QString(4 - text.size(), u'0') + text;
}

} // namespace TextRoutines
