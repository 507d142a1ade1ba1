#include "link/IndicatorProtocol.h"

#include "platform/TextRoutines.h"

namespace IndicatorProtocol {

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
