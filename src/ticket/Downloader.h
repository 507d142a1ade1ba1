#pragma once

#include "link/IndicatorProtocol.h"
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
//
// A ticket is only ever marked valid when every byte of it was acknowledged: a slot with a
// refused or unanswered data block keeps a cleared pointer entry. A line that stops answering
// ends the download with one message that says where it stopped.
class Downloader : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeout = IndicatorProtocol::kWriteTimeout;
    static constexpr qint32 kMaxTotalBytes = DownloadPlan::kDataAreaSize;

    // How the last download ended; None while running or when nothing was sent.
    enum class Outcome {
        None,
        Stored,    // every slot that holds data is stored and pointed at
        Refused,   // the indicator refused or did not answer some write: some slot not stored
        Stopped,   // the indicator stopped answering; the download was stopped
        Cancelled, // the operator cancelled
        Lost,      // the channel was lost
    };
    Q_ENUM(Outcome)

    Downloader(CommandExchange& exchange, UiServices& ui, QObject* parent = nullptr);
    ~Downloader() override;

    // Takes its own plan from the contents, so slot changes during the download change nothing
    // sent. Ignored while a download runs.
    void start(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents);
    // Stops after the reply to the command in flight; the download ends through finished().
    void cancel();
    // Ends the download at once, without waiting for the reply in flight or the operator, for a
    // program that is closing: Cancelled, no slot counted as stored, unless the pointer pass was
    // over and only its closing message was still open.
    void abandon();
    bool isRunning() const { return m_phase != Phase::Idle; }

    // The per-attempt time-out of every command; tests shorten it.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Commands handed to the exchange by the current or last download.
    int commandsSent() const { return m_commandsSent; }
    Outcome outcome() const { return m_outcome; }
    // True when slot s (1 to 7) held data in the last download and its ticket is now stored in
    // the indicator with its pointer entry.
    bool slotStored(int slot) const { return m_stored.at(slot - 1); }

signals:
    void started();
    void statusText(const QString& text);
    void progressRange(qint32 minimum, qint32 maximum);
    void progressValue(qint32 value);
    void finished();

private:
    enum class Phase { Idle, Clearing, Data, Pointers };
    // Why a slot's ticket could not be stored: the first data block of it that failed.
    struct SlotFault {
        bool failed = false;
        bool refused = false; // NAK; otherwise no answer
        qint32 address = 0;
    };

    void onExchangeFinished(quint64 command, bool ok);
    bool pointerWriteEnds(bool ok);
    void afterClearingWrite(bool ok);
    void afterDataWrite(bool ok);
    void afterPointerWrite(bool ok);
    void sendCurrent();
    void beginDataPass();
    void beginPointerPass();
    void afterDataBlock();
    void endOfPointerPass();
    QList<int> slotsOfBlock(int block) const;
    QString whereText() const;
    QString stopText(const QString& cause) const;
    // Shows a message and then runs next, once the operator has closed it.
    void report(const QString& text, void (Downloader::*next)());
    void finish();

    CommandExchange& m_exchange;
    UiServices& m_ui;
    std::chrono::milliseconds m_timeout = kTimeout;
    DownloadPlan m_plan;
    Phase m_phase = Phase::Idle;
    int m_index = 0; // slot index in the pointer passes, block index in the data pass
    // The exchange's number of the command in flight; 0 while none is.
    quint64 m_awaitedCommand = 0;
    // The command in flight is the second try after the indicator did not answer the first.
    bool m_resent = false;
    bool m_cancelRequested = false;
    bool m_slot7Failed = false;
    std::array<bool, DownloadPlan::kSlotCount> m_holdsData{};
    std::array<SlotFault, DownloadPlan::kSlotCount> m_faults{};
    std::array<bool, DownloadPlan::kSlotCount> m_stored{};
    Outcome m_outcome = Outcome::None;
    int m_commandsSent = 0;
};
