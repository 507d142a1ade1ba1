#pragma once

#include "link/ChannelManager.h"
#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "platform/UiServices.h"
#include "ticket/Downloader.h"
#include "ticket/TicketSlots.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class StatusPanels;

namespace Ui {
class MainWindow;
}

// The main window: start-up, activation, menus and the looks of a closed and an open channel.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kSlotCount = SlotTable::kSlotCount;

    // Runs start-up at once: probes the ports and applies the settings file at settingsPath.
    // Without ui the window shows real message boxes and file dialogs.
    explicit MainWindow(const QString& settingsPath = SettingsStore::defaultPath(),
                        std::unique_ptr<UiServices> ui = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    ChannelManager& channels() { return m_channels; }
    TicketSlots& ticketSlots() { return m_slots; }
    CommandExchange& exchange() { return m_exchange; }
    Downloader& downloader() { return m_downloader; }
    Ui::MainWindow& form() { return *m_ui; }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

    // Control arrays, indexed by slot number 1 to 7.
    QGroupBox* fraTicket(int slot) const { return m_fraTicket.at(slot - 1); }
    QLineEdit* txtFileName(int slot) const { return m_txtFileName.at(slot - 1); }
    QLineEdit* txtFileSize(int slot) const { return m_txtFileSize.at(slot - 1); }
    QPushButton* cmdLoadTicket(int slot) const { return m_cmdLoadTicket.at(slot - 1); }

    // What the window does each time it becomes the program's active window again.
    void Activate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpControls();
    void setUpFonts();
    void setUpStatusBar();
    void connectMenus();
    // Opens one of the program's own windows; activation runs again when it closes.
    void openWindow(QDialog* window);
    void onPortMenu();
    void onSettingsMenu();

    // Comm menu
    void onConnectMenu();
    void onChannelStateChanged(ChannelManager::State state);
    void showClosedLook();
    QString channelStateText() const;
    bool channelIsOpen() const;
    bool exchangeRunning() const;
    void refreshControls();

    // Indicator query
    void onConnectClicked();
    void onQueryFinished(bool ok);
    void showTicketArea();

    // Ticket slots
    void onLoadTicketClicked(int slot);
    void showSlot(int slot);
    void showSpace();

    // Download
    void onDownLoadClicked();
    void onDownloadStarted();
    void onDownloadFinished();

    std::unique_ptr<Ui::MainWindow> m_ui;
    std::unique_ptr<UiServices> m_uiServices;
    ChannelManager m_channels;
    CommandExchange m_exchange;
    IndicatorQuery m_query{m_exchange};
    TicketSlots m_slots;
    Downloader m_downloader{m_exchange, *m_uiServices};
    StatusPanels* m_panels = nullptr;
    std::array<QGroupBox*, kSlotCount> m_fraTicket{};
    std::array<QLineEdit*, kSlotCount> m_txtFileName{};
    std::array<QLineEdit*, kSlotCount> m_txtFileSize{};
    std::array<QPushButton*, kSlotCount> m_cmdLoadTicket{};
    bool m_shownOnce = false;
    // A failed query keeps Connect disabled until the channel is opened again.
    bool m_queryFailed = false;
    bool m_downloadShown = false;
    // A query succeeded since the ticket area was last folded away.
    bool m_ticketAreaShown = false;
};
