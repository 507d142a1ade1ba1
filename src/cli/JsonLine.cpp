#include "cli/JsonLine.h"

#include <QJsonDocument>

namespace Cli {

QString jsonLine(const QJsonObject& object)
{
    const QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    QString out;
    out.reserve(json.size());
    for (const QChar c : json) {
        if (c.unicode() >= 0x7F && c.unicode() <= 0x9F)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace Cli
