#include "link/IndicatorProtocol.h"

#include "platform/TextRoutines.h"

namespace IndicatorProtocol {

QByteArray versionText(const QByteArray& replyText)
{
    const QByteArray cleaned = SubRoutines::StripControlChars(replyText);
    const qsizetype v = cleaned.indexOf('V');
    return v < 0 ? cleaned : cleaned.mid(v);
}

QByteArray serialText(const QByteArray& replyText)
{
    return SubRoutines::StripControlChars(replyText);
}

} // namespace IndicatorProtocol
