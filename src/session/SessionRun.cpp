#include "session/SessionRun.h"

SessionRun::SessionRun(IndicatorSession& session, QObject* parent)
    : QObject(parent)
    , m_session(session)
{
    connect(&session, &IndicatorSession::stateChanged, this, &SessionRun::step);
    // The session tells a channel's failure just after its state: the run may have ended on the
    // state already, and this is still its failure.
    connect(&session, &IndicatorSession::failed, this, [this](const SessionFailure& failure) {
        m_mayTryAgain =
            failure.kind == SessionFailure::Kind::NoAnswer ||
            (failure.kind != SessionFailure::Kind::QueryRefused && failure.channel.mayPass());
        step();
    });
    connect(&session.downloader(), &Downloader::notice, this, &SessionRun::onDownloadNotice);
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
    m_mayTryAgain = false;
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
    if (m_alreadyStored && m_alreadyStored()) {
        end(Outcome::AlreadyStored);
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
    const SessionFailure& failure = m_session.queryFailure();
    m_mayTryAgain = failure.kind == SessionFailure::Kind::NoAnswer ||
                    (failure.kind == SessionFailure::Kind::Lost && failure.channel.mayPass());
    switch (failure.kind) {
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

// A download that stopped because the indicator fell silent or the line went may go through on
// another try; one whose answers could not be matched would meet the same indicator again.
void SessionRun::onDownloadNotice(const DownloadNotice& notice)
{
    if (!m_active || notice.kind != DownloadNotice::Kind::Stopped)
        return;
    m_mayTryAgain = notice.cause == DownloadNotice::Cause::StoppedAnswering ||
                    (notice.cause == DownloadNotice::Cause::Lost && notice.lost.mayPass());
}

void SessionRun::cancel()
{
    if (!m_active)
        return;
    m_mayTryAgain = false;
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
