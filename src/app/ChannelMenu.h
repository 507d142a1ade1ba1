#pragma once

#include "app/ChannelPanels.h"

#include <QObject>
#include <functional>

class IndicatorSession;
class WindowChannelSettings;
class QAction;
class QDialog;
class QWidget;
class StatusPanels;

// The Comm menu: the port window, the rate or TCP/IP window, and opening and closing the
// channel. The windows hand back the operator's choice; the window's channel settings apply it and
// the status panels show what it returns.
class ChannelMenu : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* port = nullptr;
        QAction* settings = nullptr;
        QAction* openClose = nullptr;
    };
    // openWindow opens one of the program's windows the way the main window does.
    ChannelMenu(WindowChannelSettings& channels, StatusPanels& panels, QWidget* window,
                const Actions& actions, std::function<void(QDialog*)> openWindow,
                QObject* parent = nullptr);

    // Enables what may be used now; while an exchange runs nothing that changes or closes the
    // channel under it.
    void refresh(bool exchangeRunning);
    // The channel in force and its line settings or host, in status panels 2 and 3.
    void showChannel();

private:
    void show(const ChannelPanels::Texts& texts);
    void onPort();
    void onSettings();
    void onOpenClose();

    WindowChannelSettings& m_channels;
    IndicatorSession& m_session;
    StatusPanels& m_panels;
    QWidget* m_window;
    Actions m_actions;
    std::function<void(QDialog*)> m_openWindow;
};
