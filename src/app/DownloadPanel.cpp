#include "app/DownloadPanel.h"

#include "platform/TextRoutines.h"
#include "platform/UiServices.h"
#include "session/IndicatorSession.h"
#include "ticket/DownloadProgress.h"
#include "ui/Fonts.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

QString DownloadPanel::statusText(qint32 value, qint32 max)
{
    return tr("Downloading data %1/%2 bytes")
        .arg(TextRoutines::numberText(value), TextRoutines::numberText(max));
}

DownloadPanel::DownloadPanel(IndicatorSession& session, UiServices& ui, const Widgets& widgets,
                             QObject* parent)
    : QObject(parent)
    , m_downloader(session.downloader())
    , m_ui(ui)
    , m_widgets(widgets)
{
    Fonts::set(m_widgets.statusEdit, Fonts::kMedium, true);
    Fonts::set(m_widgets.cancelButton, Fonts::kDefault, true);
    Downloader& downloader = session.downloader();
    connect(m_widgets.cancelButton, &QPushButton::clicked, &session, &IndicatorSession::cancel);
    connect(&downloader, &Downloader::started, this, &DownloadPanel::onStarted);
    connect(&downloader, &Downloader::phaseChanged, this,
            [this, &downloader](Downloader::Phase phase) {
                switch (phase) {
                case Downloader::Phase::Preparing:
                    onStatusText(tr("Preparing data ..."));
                    break;
                case Downloader::Phase::Clearing:
                case Downloader::Phase::Pointers:
                    onStatusText(tr("Update pointers ..."));
                    break;
                case Downloader::Phase::Data:
                    m_total = downloader.totalBytes();
                    m_widgets.progressBar->setRange(0, m_total);
                    break;
                }
            });
    // The bar and the status line count a block by its first byte, as the operator knows them.
    connect(&downloader, &Downloader::blockDone, this, [this](qint32 position, qint32) {
        onProgress(position);
        onStatusText(statusText(position, m_total));
    });
    connect(&downloader, &Downloader::finished, this, &DownloadPanel::onFinished);
}

void DownloadPanel::onStarted()
{
    m_shown = true;
    m_ui.setBusy(true);
    m_widgets.progressBar->setMinimum(0);
    m_widgets.progressBar->setValue(0);
    m_widgets.progressBar->setFormat(DownloadProgress::text(0, 0, {}));
    m_widgets.progressBar->show();
    m_widgets.cancelButton->show();
    m_widgets.statusEdit->clear();
    m_total = 0;
    m_widgets.frame->show();
}

void DownloadPanel::onProgress(qint32 value)
{
    m_widgets.progressBar->setValue(value);
    m_widgets.progressBar->setFormat(
        DownloadProgress::text(value, m_total, m_downloader.elapsed()));
}

void DownloadPanel::showNotice(const QString& text)
{
    m_widgets.progressBar->hide();
    m_widgets.cancelButton->hide();
    m_widgets.statusEdit->setText(text);
    m_widgets.frame->show();
}

void DownloadPanel::onStatusText(const QString& text)
{
    m_widgets.statusEdit->setText(text);
    // Shown at once, block by block, as the operator expects of a progress line.
    m_widgets.statusEdit->repaint();
}

void DownloadPanel::onFinished()
{
    m_widgets.statusEdit->clear();
    if (m_shown) {
        m_shown = false;
        m_ui.setBusy(false);
    }
    m_widgets.frame->hide();
}
