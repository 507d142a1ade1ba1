#include "app/ChannelMenu.h"

#include "app/StatusPanels.h"
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/TcpHostDialog.h"
#include "link/ChannelManager.h"

#include <QAction>

namespace {
const QString kOpen = QStringLiteral("Open");
const QString kClose = QStringLiteral("Close");

// Runs onAccepted when the window is closed with OK, before the main window is activated again.
void whenAccepted(QDialog* window, std::function<void()> onAccepted)
{
    QObject::connect(window, &QDialog::finished, window,
                     [onAccepted = std::move(onAccepted)](int result) {
                         if (result == QDialog::Accepted)
                             onAccepted();
                     });
}
} // namespace

ChannelMenu::ChannelMenu(ChannelManager& channels, StatusPanels& panels, QWidget* window,
                         const Actions& actions, std::function<void(QDialog*)> openWindow,
                         QObject* parent)
    : QObject(parent)
    , m_channels(channels)
    , m_panels(panels)
    , m_window(window)
    , m_actions(actions)
    , m_openWindow(std::move(openWindow))
{
    connect(m_actions.port, &QAction::triggered, this, &ChannelMenu::onPort);
    connect(m_actions.settings, &QAction::triggered, this, &ChannelMenu::onSettings);
    connect(m_actions.openClose, &QAction::triggered, this, &ChannelMenu::onOpenClose);
}

void ChannelMenu::refresh(bool exchangeRunning)
{
    const bool open = m_channels.state() != ChannelManager::State::Closed;
    m_actions.openClose->setText(open ? kClose : kOpen);
    m_actions.openClose->setEnabled(!exchangeRunning);
    m_actions.port->setEnabled(!open && !exchangeRunning);
    m_actions.settings->setEnabled((!open || m_channels.isTcpMode()) && !exchangeRunning);
}

void ChannelMenu::onPort()
{
    auto* dialog = new PortDialog(m_channels.channelSettings(), m_window);
    whenAccepted(dialog, [this, dialog] {
        const ChannelManager::Shown shown = m_channels.choosePort(dialog->chosenChannel());
        if (!shown.channelText.isEmpty())
            m_panels.setText(StatusPanels::kChannel, shown.channelText);
        if (shown.lineTextChanged)
            m_panels.setText(StatusPanels::kLine, shown.lineText);
    });
    m_openWindow(dialog);
}

void ChannelMenu::onSettings()
{
    if (m_channels.isTcpMode()) {
        auto* dialog = new TcpHostDialog(m_channels.channelSettings(), m_window);
        whenAccepted(dialog, [this, dialog] {
            m_channels.chooseHost(dialog->chosenHost());
            m_panels.setText(StatusPanels::kLine, dialog->chosenHost());
        });
        m_openWindow(dialog);
        return;
    }
    auto* dialog = new BaudDialog(m_channels.rateForDialog(), m_window);
    whenAccepted(dialog, [this, dialog] {
        m_panels.setText(StatusPanels::kLine, m_channels.chooseRate(dialog->chosenRate()));
    });
    m_openWindow(dialog);
}

void ChannelMenu::onOpenClose()
{
    if (m_channels.state() != ChannelManager::State::Closed)
        m_channels.close();
    else
        m_channels.open();
}
