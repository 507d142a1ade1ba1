#include "link/IndicatorQuery.h"

#include "platform/TextRoutines.h"

IndicatorQuery::IndicatorQuery(CommandExchange& exchange, QObject* parent)
    : QObject(parent)
    , m_exchange(exchange)
{
    connect(&m_exchange, &CommandExchange::finished, this, &IndicatorQuery::onExchangeFinished);
}

void IndicatorQuery::start()
{
    if (isRunning() || m_exchange.isBusy()) {
        // The exchange carries one command at a time; answering keeps the caller's busy look
        // from hanging.
        qCWarning(lcExchange) << "indicator query while an exchange is pending; refused";
        QMetaObject::invokeMethod(
            this, [this] { emit finished(false); }, Qt::QueuedConnection);
        return;
    }
    m_step = Step::Version;
    m_exchange.SendCommand(kVersionCommand, kTimeout);
}

void IndicatorQuery::onExchangeFinished(bool ok)
{
    // The exchange also serves the download; its outcomes are not ours.
    const Step step = m_step;
    if (step == Step::Idle)
        return;
    if (!ok) {
        m_step = Step::Idle;
        emit finished(false);
        return;
    }
    const QByteArray reply = m_exchange.ReplyText();
    if (step == Step::Version) {
        m_step = Step::Serial;
        emit versionReceived(versionText(reply));
        m_exchange.SendCommand(kSerialCommand, kTimeout);
        return;
    }
    m_step = Step::Idle;
    emit serialReceived(serialText(reply));
    emit finished(true);
}

QByteArray IndicatorQuery::versionText(const QByteArray& replyText)
{
    const QByteArray cleaned = SubRoutines::StripControlChars(replyText);
    const qsizetype v = cleaned.indexOf('V');
    return v < 0 ? cleaned : cleaned.mid(v);
}

QByteArray IndicatorQuery::serialText(const QByteArray& replyText)
{
    return SubRoutines::StripControlChars(replyText);
}
