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
// No answer is trusted on timing alone. The commands go out in stretches, each closed by an
// in-step point (CommandExchange::proveInStep): only then are the stretch's answers taken as
// proven, and only proven answers decide anything. A stretch in which some answer could not be
// matched to its command is sent again from its first write (a write is idempotent). A ticket is
// reported stored only when every byte of it and its pointer entry were acknowledged and proven.
class Downloader : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeout = IndicatorProtocol::kWriteTimeout;
    // Writes between two in-step points: one probe per 64 writes costs about 1.2 % of the time
    // on the wire.
    static constexpr int kStretchLength = 64;
    // After a voided stretch the next ones are short, so that an indicator that now and then
    // repeats an answer still gets every stretch through; they grow back after each proof.
    static constexpr int kShortStretchLength = 8;
    // A stretch voided this many times in a row stops the download.
    static constexpr int kMaxVoids = 3;

    // Where a download stands; the views name the passes in their own words.
    enum class Phase {
        Preparing, // the plan is being laid out; nothing sent yet
        Clearing,  // the pointer table is being cleared
        Data,      // the data blocks
        Pointers,  // the pointer table is being written
    };
    Q_ENUM(Phase)

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
    // program that is closing: Cancelled, no slot counted as stored beyond what was proven,
    // unless the pointer pass was over and only its closing message was still open.
    void abandon();
    bool isRunning() const { return m_running; }

    // The per-attempt time-out of every command; tests shorten it.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Writes handed to the exchange by the current or last download, those sent again after a
    // voided stretch included.
    int commandsSent() const { return m_commandsSent; }
    // Of those, the ones sent again; and the in-step probes, which come on top.
    int writesResent() const { return m_writesResent; }
    int probesSent() const { return m_probesSent; }
    Outcome outcome() const { return m_outcome; }
    // The bytes of all tickets of the current or last download.
    qint32 totalBytes() const { return m_totalBytes; }
    // True when slot s (1 to 7) held data in the last download and its ticket is now stored in
    // the indicator with its pointer entry, proven.
    bool slotStored(int slot) const { return m_stored.at(slot - 1); }

signals:
    void started();
    void phaseChanged(Downloader::Phase phase);
    // A data block has been answered (or its failure reported): its first byte's 1-based
    // position in the tickets, and the bytes of the tickets sent so far.
    void blockDone(qint32 position, qint32 bytesDone);
    void finished();

private:
    // Why a slot's ticket could not be stored: the first data block of it that failed.
    struct SlotFault {
        bool failed = false;
        bool refused = false; // NAK; otherwise no answer
        qint32 address = 0;
    };
    // A write that failed, judged only once an in-step point proves its answer.
    struct FailedWrite {
        int index = -1; // in the whole sequence; -1: none
        bool refused = false;
    };

    void onExchangeFinished(quint64 command, bool ok);
    void afterProof();
    void advance();
    bool proofDue() const;
    void prove();
    void send(int index);
    void announce();
    void emitBlockDone(int block);
    void commit();
    void voidStretch();
    void judgeFailure(FailedWrite failed);
    void failedBlock(FailedWrite failed);
    void failedEntry(FailedWrite failed);
    void afterFailedBlock();
    void endOfPointerPass();
    void endCancelled();

    Phase phaseOf(int index) const;
    int blockOf(int index) const { return index - m_dataBegin; }
    int slotOf(int index) const; // clearing and pointer passes: the slot index 0..6
    QByteArray commandAt(int index) const;
    qint32 addressOf(int index) const;
    QList<int> slotsOfBlock(int block) const;
    QString whereText(int index) const;
    QString holdingsText() const;
    QString stopText(const QString& cause, int index) const;
    // Shows a message and then runs next, once the operator has closed it.
    void report(const QString& text, void (Downloader::*next)());
    void finish();

    CommandExchange& m_exchange;
    UiServices& m_ui;
    std::chrono::milliseconds m_timeout = kTimeout;
    DownloadPlan m_plan;
    bool m_running = false;
    // The command sequence: clearing pass [0, m_dataBegin), data pass [m_dataBegin,
    // m_pointerBegin), pointer pass [m_pointerBegin, m_end).
    int m_dataBegin = 0;
    int m_pointerBegin = 0;
    int m_end = 0;
    int m_cursor = 0;       // the next command to send, or the one in flight
    int m_stretchStart = 0; // the first command not yet proven
    int m_sentBefore = 0;   // every command below this was sent at least once
    int m_stretchLength = kStretchLength;
    int m_voids = 0;       // voided stretches since the last proof
    bool m_opened = false; // the opening in-step point is passed
    bool m_dataAnnounced = false;
    bool m_pointersAnnounced = false;
    // The exchange's number of the command in flight; 0 while none is.
    quint64 m_awaitedCommand = 0;
    bool m_proving = false; // the command in flight is an in-step probe
    FailedWrite m_failed;
    int m_failedBlock = -1; // the data block whose Data Error message is open
    // The write in flight is the second try after the indicator did not answer the first.
    bool m_resent = false;
    bool m_cancelRequested = false;
    bool m_slot7Failed = false;
    std::array<bool, DownloadPlan::kSlotCount> m_holdsData{};
    std::array<SlotFault, DownloadPlan::kSlotCount> m_faults{};
    std::array<bool, DownloadPlan::kSlotCount> m_stored{};
    Outcome m_outcome = Outcome::None;
    int m_commandsSent = 0;
    qint32 m_totalBytes = 0;
    int m_probesSent = 0;
    int m_writesResent = 0;
};
