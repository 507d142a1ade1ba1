#include "app/DownloadPanel.h"

#include "platform/UiServices.h"
#include "ticket/Downloader.h"
#include "ui/Fonts.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

DownloadPanel::DownloadPanel(Downloader& downloader, UiServices& ui, const Widgets& widgets,
                             QObject* parent)
    : QObject(parent)
    , m_ui(ui)
    , m_widgets(widgets)
{
    Fonts::set(m_widgets.statusEdit, Fonts::kMedium, true);
    Fonts::set(m_widgets.cancelButton, Fonts::kDefault, true);
    connect(m_widgets.cancelButton, &QPushButton::clicked, &downloader, &Downloader::cancel);
    connect(&downloader, &Downloader::started, this, &DownloadPanel::onStarted);
    connect(&downloader, &Downloader::statusText, this, &DownloadPanel::onStatusText);
    connect(&downloader, &Downloader::progressRange, m_widgets.progressBar,
            &QProgressBar::setRange);
    connect(&downloader, &Downloader::progressValue, m_widgets.progressBar,
            &QProgressBar::setValue);
    connect(&downloader, &Downloader::finished, this, &DownloadPanel::onFinished);
}

void DownloadPanel::onStarted()
{
    m_shown = true;
    m_ui.setBusy(true);
    m_widgets.progressBar->setMinimum(0);
    m_widgets.progressBar->setValue(0);
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
