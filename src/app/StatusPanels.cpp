#include "app/StatusPanels.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr auto kClockInterval = std::chrono::seconds(1);
constexpr int kDate = 4;
constexpr int kTime = 5;
} // namespace

StatusPanels::StatusPanels(QStatusBar* bar)
    : QObject(bar)
{
    // Panel 3 (line settings or host) gets what the others leave.
    const std::array<int, kCount> widths = {120, 90, 0, 110, 90};
    for (int i = 0; i < kCount; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("staBarPanel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(4);
        if (widths[i] > 0)
            panel->setFixedWidth(widths[i]);
        bar->addPermanentWidget(panel, widths[i] > 0 ? 0 : 1);
        m_panels[i] = panel;
    }
    setText(kState, tr("Not connected"));
    setText(kChannel, QStringLiteral("COM 1"));
    setText(kLine, QStringLiteral("115200bps, 8-N-1"));
    updateClock();
    m_clock = new QTimer(this);
    m_clock->setInterval(kClockInterval);
    connect(m_clock, &QTimer::timeout, this, &StatusPanels::updateClock);
    m_clock->start();
}

QString StatusPanels::text(int panel) const
{
    return m_panels.at(panel - 1)->text();
}

void StatusPanels::setText(int panel, const QString& text)
{
    m_panels.at(panel - 1)->setText(text);
}

void StatusPanels::updateClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    setText(kDate, locale.toString(now.date(), QLocale::ShortFormat));
    setText(kTime, locale.toString(now.time(), QStringLiteral("HH:mm:ss")));
}
