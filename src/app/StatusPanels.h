#pragma once

#include <QObject>
#include <array>

class QLabel;
class QStatusBar;
class QTimer;

// The main window's five status panels: channel state, channel, line settings or host, date and
// time, numbered 1 to 5 from the left. The date and the time keep themselves current.
class StatusPanels : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 5;
    static constexpr int kState = 1;
    static constexpr int kChannel = 2;
    static constexpr int kLine = 3;

    // Fills the bar with the panels and their texts at creation.
    explicit StatusPanels(QStatusBar* bar);

    QString text(int panel) const;
    void setText(int panel, const QString& text);
    // Date and time now, as at every activation.
    void updateClock();

private:
    std::array<QLabel*, kCount> m_panels{};
    QTimer* m_clock = nullptr;
};
