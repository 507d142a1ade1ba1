#pragma once

#include "ui/FixedDialog.h"

#include <array>
#include <memory>

class ChannelManager;
class QRadioButton;

namespace Ui {
class PortDialog;
}

// The port selection dialog: COM 1 to COM 8, and a hidden TCP/IP choice that keeps TCP/IP in
// force when it is confirmed.
class PortDialog : public FixedDialog {
    Q_OBJECT
public:
    static constexpr int kOptionCount = 9;
    static constexpr int kTcpOption = 8;

    // Runs the opening steps: the channel in force is selected and the options are enabled
    // from the ports the start-up probe found.
    explicit PortDialog(ChannelManager& channels, QWidget* parent = nullptr);
    ~PortDialog() override;

    // Selects option 0 to 8 as a click on it would.
    void selectOption(int index);
    QRadioButton* optCommPort(int index) const { return m_optCommPort.at(index); }

    // Channel codes: 1 to 8 for COM 1 to COM 8, 9 for TCP/IP.
    int OldPort() const { return m_oldPort; }
    int NewPort() const { return m_newPort; }

signals:
    // Panel 1 to 5 of the main window's status bar.
    void statusPanelText(int panel, const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void enableOptions();
    void setPortToolTips();
    void onOk();

    std::unique_ptr<Ui::PortDialog> m_ui;
    ChannelManager& m_channels;
    std::array<QRadioButton*, kOptionCount> m_optCommPort{};
    int m_oldPort = 0;
    int m_newPort = 0;
};
