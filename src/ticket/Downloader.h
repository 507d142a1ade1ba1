#pragma once

#include "ticket/DownloadPlan.h"

#include <QObject>
#include <QString>
#include <array>
#include <chrono>

class CommandExchange;
class UiServices;

// Runs one download plan through the command exchange: the clearing pass, the data pass and the
// pointer pass, one command outstanding at a time, each next command started by the reply to
// the one before. Messages go through UiServices and the download waits for the operator to
// close each one before it goes on.
class Downloader : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeout{2000};
    static constexpr qint32 kMaxTotalBytes = DownloadPlan::kDataAreaSize;

    Downloader(CommandExchange& exchange, UiServices& ui, QObject* parent = nullptr);
    ~Downloader() override;

    // Takes its own plan from the contents, so slot changes during the download change nothing
    // sent. Ignored while a download runs.
    void start(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents);
    // Stops after the reply to the command in flight; the download ends through finished().
    void cancel();
    bool isRunning() const { return m_phase != Phase::Idle; }

    // The per-attempt time-out of every command; tests shorten it.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Commands handed to the exchange by the current or last download.
    int commandsSent() const { return m_commandsSent; }

signals:
    void started();
    void statusText(const QString& text);
    void progressRange(qint32 minimum, qint32 maximum);
    void progressValue(qint32 value);
    void finished();

private:
    enum class Phase { Idle, Clearing, Data, Pointers };

    void onExchangeFinished(bool ok);
    bool pointerWriteEnds(bool ok);
    void afterClearingWrite(bool ok);
    void afterDataWrite(bool ok);
    void afterPointerWrite(bool ok);
    void sendCurrent();
    void beginDataPass();
    void beginPointerPass();
    void afterDataBlock();
    // Shows a message and then runs next, once the operator has closed it.
    void report(const QString& text, void (Downloader::*next)());
    void finish();

    CommandExchange& m_exchange;
    UiServices& m_ui;
    std::chrono::milliseconds m_timeout = kTimeout;
    DownloadPlan m_plan;
    Phase m_phase = Phase::Idle;
    int m_index = 0; // slot index in the pointer passes, block index in the data pass
    bool m_awaitingReply = false;
    bool m_cancelRequested = false;
    bool m_slot7Failed = false;
    bool m_slot7HoldsData = false;
    int m_commandsSent = 0;
};
