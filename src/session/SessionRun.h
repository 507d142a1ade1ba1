#pragma once

#include "session/IndicatorSession.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>

// One whole run of a session, as the command line does it: open the channel, query the
// indicator, download the tickets when asked, record, close. finished() follows once, also when
// the channel did not open.
class SessionRun : public QObject {
    Q_OBJECT
public:
    enum class Task { Query, Download };

    explicit SessionRun(IndicatorSession& session, QObject* parent = nullptr);

    void start(Task task, const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // Ends the run as soon as the indicator allows: a query at once, a download after the reply
    // in flight, as the window's Cancel does.
    void cancel();
    // Ends a run that never started as `outcome`: nothing is opened, nothing sent.
    void endUnstarted(Outcome outcome, const SlotTable::Contents& contents,
                      const SlotTable::Paths& paths);
    bool isRunning() const { return m_active; }
    // Asked once the query has answered, before anything is written: true ends the run as
    // AlreadyStored. None: every run downloads.
    void setSkipCheck(std::function<bool()> alreadyStored)
    {
        m_alreadyStored = std::move(alreadyStored);
    }
    // The run ended for want of a line or an answer that a later try may find: the channel did
    // not open or went away for a reason that may pass, the query went unanswered, or the
    // download stopped because the indicator fell silent. Never after a refusal, a cancel or a
    // wrong setting.
    bool mayTryAgain() const { return m_mayTryAgain; }
    // How the run ended: Answered for a query that was answered, else the download's outcome;
    // Lost when the channel did not open or went away, Refused or Stopped when the query was
    // refused or not answered.
    Outcome outcome() const { return m_outcome; }
    const DownloadRecord& record() const { return m_session.recorder().record(); }

signals:
    void finished();

private:
    void step();
    void onQueryFinished(bool ok);
    void end(Outcome outcome);
    void onDownloadNotice(const DownloadNotice& notice);

    IndicatorSession& m_session;
    Task m_task = Task::Query;
    bool m_active = false;
    bool m_queried = false;
    bool m_downloadStarted = false;
    Outcome m_outcome = Outcome::None;
    QElapsedTimer m_clock;
    std::function<bool()> m_alreadyStored;
    // What the run has met so far says a later try may find the line or the answer.
    bool m_mayTryAgain = false;
};
