#include "platform/TextRoutines.h"

#include <cstdlib>

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

QByteArray describeBytes(const QByteArray& bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() + 16);
    for (const char c : bytes) {
        const auto code = static_cast<uchar>(c);
        switch (code) {
        case 0x00:
            out += "<NUL>";
            break;
        case 0x06:
            out += "<ACK>";
            break;
        case 0x0A:
            out += "<LF>";
            break;
        case 0x0D:
            out += "<CR>";
            break;
        case 0x15:
            out += "<NAK>";
            break;
        default:
            if (code < 0x20 || code >= 0x7F) {
                out += "<0x";
                out += hex[code >> 4];
                out += hex[code & 0x0F];
                out += '>';
            } else {
                out += c;
            }
        }
    }
    return out;
}

QString describeControls(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            out += QLatin1String(describeBytes(QByteArray(1, char(code))));
        else
            out += c;
    }
    return out;
}

QString cutText(const QString& text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text;
    return text.left(maxLength - 3) + QStringLiteral("...");
}

QString csvLine(const QStringList& fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        QString field = fields.at(i);
        const bool quoted = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
                            field.contains(u'\r') || field != field.trimmed();
        if (quoted)
            field = u'"' + field.replace(u'"', QStringLiteral("\"\"")) + u'"';
        line += field;
    }
    return line + QStringLiteral("\r\n");
}

QString csvText(const QString& text)
{
    static constexpr char16_t kFormulaStarts[] = u"=+-@\t\r";
    if (!text.isEmpty() && QStringView(kFormulaStarts).contains(text.front()))
        return u'\'' + text;
    return text;
}

QString twoDigits(qint64 value)
{
    return QString::number(value).rightJustified(2, u'0');
}

QString timeWithOffset(const QDateTime& time, const QString& format)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(format) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2").arg(twoDigits(minutes / 60), twoDigits(minutes % 60));
}

} // namespace TextRoutines
