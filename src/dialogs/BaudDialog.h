#pragma once

#include "platform/LineSettings.h"
#include "ui/FixedDialog.h"

#include <array>
#include <memory>

class QRadioButton;

namespace Ui {
class BaudDialog;
}

// The baud-rate dialog: one of six rates for the serial line, always 8 data bits, no parity,
// 1 stop bit. It opens on the rate in force and hands back the rate chosen.
class BaudDialog : public FixedDialog {
    Q_OBJECT
public:
    static constexpr int kOptionCount = int(LineSettings::kRates.size());

    explicit BaudDialog(int rate, QWidget* parent = nullptr);
    ~BaudDialog() override;

    // Selects option 0 to 5 as a click on it would.
    void selectOption(int index);
    QRadioButton* rateOption(int index) const { return m_rateOptions.at(index); }

    // 0 for none.
    int initialRate() const { return m_initialRate; }
    int chosenRate() const { return m_chosenRate; }

private:
    std::unique_ptr<Ui::BaudDialog> m_ui;
    std::array<QRadioButton*, kOptionCount> m_rateOptions{};
    int m_initialRate = 0;
    int m_chosenRate = 0;
};
