#include "link/IndicatorQuery.h"
#include "platform/LogSource.h"

IndicatorQuery::IndicatorQuery(CommandExchange& exchange, QObject* parent)
    : QObject(parent)
    , m_exchange(exchange)
{
    connect(&m_exchange, &CommandExchange::commandFinished, this,
            &IndicatorQuery::onExchangeFinished);
}

void IndicatorQuery::start()
{
    if (isRunning() || m_exchange.isBusy()) {
        // The exchange carries one command at a time; answering keeps the caller's busy look
        // from hanging.
        qCWarning(lcExchange) << LogSource{m_exchange.logName()}
                              << "indicator query while an exchange is pending; refused";
        QMetaObject::invokeMethod(
            this, [this] { emit finished(false); }, Qt::QueuedConnection);
        return;
    }
    m_step = Step::Version;
    m_awaitedCommand = m_exchange.sendCommand(IndicatorProtocol::kVersionCommand, kTimeout);
}

void IndicatorQuery::onExchangeFinished(quint64 command, bool ok)
{
    // The exchange also serves the download; its outcomes are not ours.
    const Step step = m_step;
    if (step == Step::Idle || command == 0 || command != m_awaitedCommand)
        return;
    m_awaitedCommand = 0;
    if (!ok) {
        m_step = Step::Idle;
        emit finished(false);
        return;
    }
    const QByteArray reply = m_exchange.replyText();
    if (step == Step::Version) {
        m_step = Step::Serial;
        const QByteArray version = IndicatorProtocol::versionText(reply);
        // From now on the exchange can tell this indicator's version answer from every other
        // line, and so bring the line back in step after a time-out.
        m_exchange.setVersionText(version);
        emit versionReceived(version);
        m_awaitedCommand = m_exchange.sendCommand(IndicatorProtocol::kSerialCommand, kTimeout);
        return;
    }
    m_step = Step::Idle;
    emit serialReceived(IndicatorProtocol::serialText(reply));
    emit finished(true);
}

void IndicatorQuery::abandon()
{
    if (!isRunning())
        return;
    m_step = Step::Idle;
    m_awaitedCommand = 0;
    m_exchange.abandon();
}
