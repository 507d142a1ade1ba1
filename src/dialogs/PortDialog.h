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
    static constexpr int kOptionCount = 9;
    static constexpr int kTcpOption = 8;

    explicit PortDialog(const ChannelSettings& settings, QWidget* parent = nullptr);
    ~PortDialog() override;

    // Selects option 0 to 8 as a click on it would.
    void selectOption(int index);
    QRadioButton* portOption(int index) const { return m_portOptions.at(index); }

    // Channel codes: 1 to 8 for COM 1 to COM 8, 9 for TCP/IP; 0 for none.
    int initialChannel() const { return m_initialChannel; }
    int chosenChannel() const { return m_chosenChannel; }

private:
    std::unique_ptr<Ui::PortDialog> m_ui;
    std::array<QRadioButton*, kOptionCount> m_portOptions{};
    int m_initialChannel = 0;
    int m_chosenChannel = 0;
};
