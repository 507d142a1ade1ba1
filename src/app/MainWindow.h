#pragma once

#include "platform/UiServices.h"
#include "session/IndicatorSession.h"
#include "session/WindowChannelSettings.h"
#include "ticket/TicketSlots.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class ChannelMenu;
class DownloadPanel;
class QDialog;
class StatusPanels;
class TicketArea;
class TicketSlotBox;

namespace Ui {
class MainWindow;
}

// The main window: it draws the channel's state, the query's result, the slots and the
// download's progress, and hands the operator's clicks to the core.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs start-up at once: probes the ports and applies the settings file at settingsPath.
    // Without ui the window shows real message boxes and file dialogs.
    explicit MainWindow(const QString& settingsPath = SettingsStore::defaultPath(),
                        std::unique_ptr<UiServices> ui = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    WindowChannelSettings& channels() { return m_channels; }
    IndicatorSession& session() { return m_session; }
    TicketSlots& ticketSlots() { return m_slots; }
    CommandExchange& exchange() { return m_session.exchange(); }
    Downloader& downloader() { return m_session.downloader(); }
    DownloadRecorder& recorder() { return m_session.recorder(); }
    Ui::MainWindow& form() { return *m_ui; }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    // Slot 1 to 7.
    TicketSlotBox* slotBox(int slot) const;

    // What the window does each time it becomes the program's active window again.
    void activate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpLook();
    void connectMenus();
    void connectCore();
    // Opens one of the program's own windows; activation runs again when it closes.
    void openWindow(QDialog* window);
    void openHistory();
    // Closing during a download asks first; the answer closes the window or leaves it be.
    void askToQuit();

    void onChannelStateChanged(IndicatorSession::State state);
    void showClosedLook();
    QString channelStateText() const;
    void refreshControls();

    void onConnectClicked();
    void onQueryFinished(bool ok);

    std::unique_ptr<Ui::MainWindow> m_ui;
    std::unique_ptr<UiServices> m_uiServices;
    IndicatorSession m_session;
    WindowChannelSettings m_channels;
    TicketSlots m_slots;
    StatusPanels* m_panels = nullptr;
    ChannelMenu* m_channelMenu = nullptr;
    TicketArea* m_ticketArea = nullptr;
    DownloadPanel* m_downloadPanel = nullptr;
    QPointer<QDialog> m_history;
    bool m_shownOnce = false;
    // A failed query keeps Connect disabled until the channel is opened again.
    bool m_queryFailed = false;
    // The question to quit during a download is open: another close asks nothing more.
    bool m_quitAsked = false;
};
