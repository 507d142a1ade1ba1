#pragma once

#include "link/IndicatorProtocol.h"
#include "ticket/DownloadNotice.h"
#include "ticket/DownloadPlan.h"
#include "ticket/Outcome.h"

#include <QElapsedTimer>
#include <QObject>
#include <chrono>

class CommandExchange;

// Runs one download plan through the command exchange: the clearing pass, the data pass and the
// pointer pass, one command outstanding at a time, each next command started by the reply to
// the one before. What the operator must know goes out as a notice of facts; a view that shows
// it may hold the download until the operator has read it.
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

    explicit Downloader(CommandExchange& exchange, QObject* parent = nullptr);
    ~Downloader() override;

    // Takes its own plan from the contents, so slot changes during the download change nothing
    // sent. Ignored while a download runs.
    void start(const SlotTable::Contents& contents);
    // Stops after the reply to the command in flight; the download ends through finished().
    void cancel();
    // Ends the download at once, without waiting for the reply in flight or the operator, for a
    // program that is closing: Cancelled, no slot counted as stored beyond what was proven,
    // unless the pointer pass was over and only its closing notice was still being read.
    void abandon();
    bool isRunning() const { return m_run.running; }

    // Set by a view that shows each notice to the operator: the download then waits after each
    // one until proceed() is called. Otherwise it goes on at once.
    void setHoldOnNotice(bool hold) { m_holdOnNotice = hold; }
    // The notice has been read: the download goes on.
    void proceed();

    // The per-attempt time-out of every command; tests shorten it.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    // Writes handed to the exchange by the current or last download, those sent again after a
    // voided stretch included; and the in-step probes, which come on top.
    int commandsSent() const { return m_run.commandsSent; }
    int probesSent() const { return m_run.probesSent; }
    Outcome outcome() const { return m_run.outcome; }
    // The bytes of all tickets of the current or last download.
    qint32 totalBytes() const { return m_run.totalBytes; }
    // True when slot s (1 to 7) held data in the last download and its ticket is now stored in
    // the indicator with its pointer entry, proven.
    bool slotStored(int slot) const { return m_run.stored.at(slot - 1); }
    // The time since the current or last download started.
    std::chrono::milliseconds elapsed() const;

signals:
    void started();
    void phaseChanged(Downloader::Phase phase);
    // A data block has been answered (or its failure reported): its first byte's 1-based
    // position in the tickets, and the bytes of the tickets sent so far.
    void blockDone(qint32 position, qint32 bytesDone);
    // Something the operator must read; finished() follows those that end the download.
    void notice(const DownloadNotice& notice);
    void finished();

private:
    using Next = void (Downloader::*)();
    // A write that failed, judged only once an in-step point proves its answer.
    struct FailedWrite {
        int index = -1; // in the whole sequence; -1: none
        bool refused = false;
    };
    // Everything one download changes, set afresh by assignment when the next one starts.
    struct Run {
        bool running = false;
        DownloadSequence sequence;
        int cursor = 0;       // the next command to send, or the one in flight
        int stretchStart = 0; // the first command not yet proven
        int sentBefore = 0;   // every command below this was sent at least once
        int stretchLength = kStretchLength;
        int voids = 0;       // voided stretches since the last proof
        bool opened = false; // the opening in-step point is passed
        bool dataAnnounced = false;
        bool pointersAnnounced = false;
        // The exchange's number of the command in flight; 0 while none is.
        quint64 awaitedCommand = 0;
        bool proving = false; // the command in flight is an in-step probe
        FailedWrite failed;
        int failedBlock = -1; // the data block whose notice is being read
        // The write in flight is the second try after the indicator did not answer the first.
        bool resent = false;
        bool cancelRequested = false;
        bool slot7Failed = false;
        DownloadNotice::SlotFlags holdsData{};
        std::array<DownloadNotice::SlotFault, SlotTable::kSlotCount> faults{};
        DownloadNotice::SlotFlags stored{};
        Outcome outcome = Outcome::None;
        int commandsSent = 0;
        int probesSent = 0;
        qint32 totalBytes = 0;
        QElapsedTimer clock;
        // What follows the notice being read; nullptr while none is.
        Next afterNotice = nullptr;
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
    bool answeredTwice() const;
    bool pairedSoFar() const;
    void voidStretch();
    void judgeFailure(FailedWrite failed);
    void failedBlock(FailedWrite failed);
    void failedEntry(FailedWrite failed);
    void afterFailedBlock();
    void endOfPointerPass();
    void endCancelled();
    void stop(DownloadNotice::Cause cause, int index);

    DownloadPass passOf(int index) const { return m_run.sequence.passOf(index); }
    int blockOf(int index) const { return m_run.sequence.blockOf(index); }
    int slotOf(int index) const { return m_run.sequence.slotOf(index); }
    qint32 addressOf(int index) const { return m_run.sequence.addressOf(index); }
    QByteArray commandAt(int index) const
    {
        const bool entry = passOf(index) == DownloadPass::Pointers;
        return m_run.sequence.commandAt(index, entry && m_run.faults[slotOf(index)].failed);
    }
    QList<int> slotsOfBlock(int block) const
    {
        return m_run.sequence.slotsOfBlock(block, m_run.holdsData);
    }
    // A notice with what the indicator holds now filled in.
    DownloadNotice noticeOf(DownloadNotice::Kind kind) const;
    // Tells the notice, then runs next once it has been read.
    void report(const DownloadNotice& notice, Next next);
    void finish();

    CommandExchange& m_exchange;
    std::chrono::milliseconds m_timeout = kTimeout;
    bool m_holdOnNotice = false;
    Run m_run;
};
