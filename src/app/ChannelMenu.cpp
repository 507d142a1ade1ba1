#include "app/ChannelMenu.h"

#include "app/ChannelPanels.h"
#include "app/StatusPanels.h"
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/TcpHostDialog.h"
#include "session/WindowChannelSettings.h"

#include <QAction>

namespace {
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

ChannelMenu::ChannelMenu(WindowChannelSettings& channels, StatusPanels& panels, QWidget* window,
                         const Actions& actions, std::function<void(QDialog*)> openWindow,
                         QObject* parent)
    : QObject(parent)
    , m_channels(channels)
    , m_session(channels.session())
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
    const bool open = m_session.state() != IndicatorSession::State::Closed;
    m_actions.openClose->setText(open ? tr("Close") : tr("Open"));
    m_actions.openClose->setEnabled(!exchangeRunning);
    m_actions.port->setEnabled(!open && !exchangeRunning);
    // A device server's rate changes at once on its open line, as a TCP/IP host is kept for
    // the next connection; a serial port's rate only while it is closed.
    m_actions.settings->setEnabled((!open || m_session.address().isNetwork()) && !exchangeRunning);
}

void ChannelMenu::show(const ChannelPanels::Texts& texts)
{
    if (texts.channel)
        m_panels.setText(StatusPanels::kChannel, *texts.channel);
    if (texts.line)
        m_panels.setText(StatusPanels::kLine, *texts.line);
}

void ChannelMenu::showChannel()
{
    show(ChannelPanels::inForce(m_channels));
}

void ChannelMenu::onPort()
{
    auto* dialog = new PortDialog(m_channels.inForce(), m_window);
    whenAccepted(dialog, [this, dialog] {
        show(ChannelPanels::choosePort(m_channels, dialog->chosenChannel()));
    });
    m_openWindow(dialog);
}

void ChannelMenu::onSettings()
{
    // A line whose rate this program sets gets the rate window; a raw TCP port its host.
    if (!m_session.address().takesRate()) {
        auto* dialog = new TcpHostDialog(m_channels.inForce(), m_window);
        whenAccepted(dialog, [this, dialog] {
            show(ChannelPanels::chooseHost(m_channels, dialog->chosenHost()));
        });
        m_openWindow(dialog);
        return;
    }
    auto* dialog = new BaudDialog(m_channels.rateForDialog(), m_window);
    whenAccepted(dialog, [this, dialog] {
        show(ChannelPanels::chooseRate(m_channels, dialog->chosenRate()));
    });
    m_openWindow(dialog);
}

void ChannelMenu::onOpenClose()
{
    if (m_session.state() != IndicatorSession::State::Closed)
        m_session.close();
    else
        m_session.open();
}
