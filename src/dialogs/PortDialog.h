#pragma once

#include "link/ChannelSettings.h"
#include "ui/FixedDialog.h"

#include <array>
#include <memory>

class QRadioButton;

namespace Ui {
class PortDialog;
}

// The port selection dialog: COM 1 to COM 8, and a hidden TCP/IP choice that keeps TCP/IP in
// force when it is confirmed. It opens on the channel in force, with the ports the start-up
// probe found enabled, and hands back the channel chosen; the caller applies it.
class PortDialog : public FixedDialog {
    Q_OBJECT
public:
    // COM 1 to COM 8, then the network choice.
    static constexpr int kOptionCount = ComPorts::kCount + 1;
    static constexpr int kTcpOption = ComPorts::kCount;

    explicit PortDialog(const ChannelSettings& settings, QWidget* parent = nullptr);
    ~PortDialog() override;

    // Selects option 0 to 8 as a click on it would.
    void selectOption(int index);
    QRadioButton* portOption(int index) const { return m_portOptions.at(index); }

    // The option's channel: COM k for option k - 1, the network channel for the last one.
    static ChannelSettings::Choice choiceOf(int index);
    ChannelSettings::Choice initialChannel() const { return m_initialChannel; }
    ChannelSettings::Choice chosenChannel() const { return m_chosenChannel; }

private:
    std::unique_ptr<Ui::PortDialog> m_ui;
    std::array<QRadioButton*, kOptionCount> m_portOptions{};
    ChannelSettings::Choice m_initialChannel;
    ChannelSettings::Choice m_chosenChannel;
};
