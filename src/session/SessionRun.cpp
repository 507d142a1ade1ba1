#include "session/SessionRun.h"

SessionRun::SessionRun(IndicatorSession& session, QObject* parent)
    : QObject(parent)
    , m_session(session)
{
    connect(&session, &IndicatorSession::stateChanged, this, &SessionRun::step);
    connect(&session, &IndicatorSession::failed, this, &SessionRun::step);
    connect(&session, &IndicatorSession::queryFinished, this, &SessionRun::onQueryFinished);
    connect(&session.downloader(), &Downloader::finished, this, [this] {
        if (m_active && m_downloadStarted)
            end(m_session.downloader().outcome());
    });
}

void SessionRun::start(Task task, const SlotTable::Contents& contents,
                       const SlotTable::Paths& paths)
{
    if (m_active || m_session.state() != IndicatorSession::State::Closed)
        return;
    m_active = true;
    m_task = task;
    m_outcome = Outcome::None;
    m_queried = false;
    m_downloadStarted = false;
    m_clock.start();
    // So that a run that ends before its download has a record all the same.
    m_session.prepareDownload(contents, paths);
    m_session.open();
}

void SessionRun::endUnstarted(Outcome outcome, const SlotTable::Contents& contents,
                              const SlotTable::Paths& paths)
{
    if (m_active)
        return;
    m_session.prepareDownload(contents, paths);
    m_session.recorder().finishUnsent(outcome, {});
    m_outcome = outcome;
    emit finished();
}

// The next step of the run, from what the session has reached.
void SessionRun::step()
{
    if (!m_active)
        return;
    const bool busy = m_session.isBusy();
    if (m_session.cancelRequested() && !m_session.downloader().isRunning()) {
        end(Outcome::Cancelled);
        return;
    }
    if (m_session.state() == IndicatorSession::State::Closed && !busy) {
        end(Outcome::Lost);
        return;
    }
    if (m_session.state() != IndicatorSession::State::Open || busy)
        return;
    if (!m_queried) {
        m_session.query();
        return;
    }
    if (m_task == Task::Query) {
        end(Outcome::Answered);
        return;
    }
    m_downloadStarted = m_session.startDownload();
}

void SessionRun::onQueryFinished(bool ok)
{
    if (!m_active)
        return;
    if (ok) {
        m_queried = true;
        step();
        return;
    }
    switch (m_session.queryFailure().kind) {
    case SessionFailure::Kind::Unreachable:
    case SessionFailure::Kind::Lost:
        end(Outcome::Lost);
        return;
    case SessionFailure::Kind::QueryRefused:
        end(Outcome::Refused);
        return;
    default:
        end(Outcome::Stopped);
        return;
    }
}

void SessionRun::cancel()
{
    if (!m_active)
        return;
    m_session.cancel();
    // A download stops after the reply in flight and ends the run through its finished().
    if (!m_session.downloader().isRunning())
        end(Outcome::Cancelled);
}

void SessionRun::end(Outcome outcome)
{
    if (!m_active)
        return;
    m_active = false;
    m_outcome = outcome;
    if (!m_downloadStarted) {
        m_session.recordTarget();
        m_session.recorder().finishUnsent(outcome, std::chrono::milliseconds(m_clock.elapsed()));
    }
    m_session.close();
    emit finished();
}
