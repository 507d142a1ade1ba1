#pragma once

#include "ui/FixedDialog.h"

#include <array>
#include <memory>

class ChannelManager;
class QRadioButton;

namespace Ui {
class BaudDialog;
}

// The baud-rate dialog: one of six rates for the serial line, always 8 data bits, no parity,
// 1 stop bit.
class BaudDialog : public FixedDialog {
    Q_OBJECT
public:
    static constexpr int kOptionCount = 6;
    // The choice a line at a rate outside the six is switched to on opening.
    static constexpr int kFallbackOption = 3;

    // Runs the opening steps: the rate in force is selected, or the line is switched to
    // 38400 baud when its rate is none of the six.
    explicit BaudDialog(ChannelManager& channels, QWidget* parent = nullptr);
    ~BaudDialog() override;

    // Selects option 0 to 5 as a click on it would.
    void selectOption(int index);
    QRadioButton* optBaudRate(int index) const { return m_optBaudRate.at(index); }

    // Rate texts such as "19200".
    QString OldBaud() const { return m_oldBaud; }
    QString NewBaud() const { return m_newBaud; }

    static QString rateText(int index);

signals:
    void statusPanelText(int panel, const QString& text);

private:
    void onOk();

    std::unique_ptr<Ui::BaudDialog> m_ui;
    ChannelManager& m_channels;
    std::array<QRadioButton*, kOptionCount> m_optBaudRate{};
    QString m_oldBaud;
    QString m_newBaud;
};
