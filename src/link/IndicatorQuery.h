#pragma once

#include "link/CommandExchange.h"
#include "link/IndicatorProtocol.h"

#include <QByteArray>
#include <QObject>
#include <chrono>

// Asks the indicator for its software version, then for its serial number, through the command
// exchange; the same steps, time-outs and cleaning over serial and TCP/IP.
class IndicatorQuery : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeout = IndicatorProtocol::kQueryTimeout;

    explicit IndicatorQuery(CommandExchange& exchange, QObject* parent = nullptr);

    // Sends ;C4 and then ;SR. Starting while the query or another exchange runs is a
    // programming error: it is logged and answered with finished(false).
    void start();
    bool isRunning() const { return m_step != Step::Idle; }
    // Gives the query up at once, its command with it, without finished().
    void abandon();

signals:
    // After ;C4 succeeded, before ;SR is sent.
    void versionReceived(const QByteArray& version);
    void serialReceived(const QByteArray& serial);
    // False: no answer, NAK, channel lost or a line out of step; the exchange's lastFailure()
    // tells which.
    void finished(bool ok);

private:
    enum class Step { Idle, Version, Serial };

    void onExchangeFinished(quint64 command, bool ok);

    CommandExchange& m_exchange;
    Step m_step = Step::Idle;
    // The exchange's number of the command in flight; 0 while none is.
    quint64 m_awaitedCommand = 0;
};
