#include "link/ReplyLines.h"

#include "link/CommandExchange.h"
#include "link/IndicatorProtocol.h"
#include "platform/LogSource.h"

namespace {
// Past the LF and NUL bytes at `from`: after a CR they end the line that CR ended.
qsizetype skipLineEndTail(const QByteArray& bytes, qsizetype from)
{
    while (from < bytes.size() && (bytes[from] == '\n' || bytes[from] == '\0'))
        ++from;
    return from;
}
} // namespace

void ReplyLines::clear()
{
    m_pending.clear();
    m_afterCr = false;
    m_droppedBytes = 0;
}

void ReplyLines::append(const QByteArray& bytes, qsizetype from, qsizetype count)
{
    const qsizetype room = m_maxLineLength - m_pending.size();
    if (count <= room) {
        m_pending.append(bytes.constData() + from, count);
        return;
    }
    if (m_droppedBytes == 0)
        qCWarning(lcExchange) << LogSource{m_logName} << "reply line exceeds" << m_maxLineLength
                              << "bytes without a CR; dropping the excess";
    m_droppedBytes += count - room;
    m_pending.append(bytes.constData() + from, room);
}

// The pending bytes never hold a CR, so only the new bytes need searching.
QList<QByteArray> ReplyLines::take(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    if (m_afterCr) {
        from = skipLineEndTail(bytes, 0);
        m_afterCr = from == bytes.size();
    }
    while (from < bytes.size()) {
        const qsizetype cr = bytes.indexOf(IndicatorProtocol::kCr, from);
        append(bytes, from, (cr < 0 ? bytes.size() : cr) - from);
        if (cr < 0)
            break;
        m_pending.append(IndicatorProtocol::kCr);
        from = skipLineEndTail(bytes, cr + 1);
        m_afterCr = from == bytes.size();
        if (m_droppedBytes > 0) {
            qCWarning(lcExchange) << LogSource{m_logName} << "reply line completed after"
                                  << m_droppedBytes << "excess bytes were dropped";
            m_droppedBytes = 0;
        }
        lines.append(std::exchange(m_pending, QByteArray()));
    }
    return lines;
}
