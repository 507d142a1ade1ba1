#pragma once

#include <QDialog>
#include <array>
#include <memory>

class AppState;
class QRadioButton;
class UiServices;

namespace Ui {
class BaudDialog;
}

// The baud-rate dialog: one of six rates for the serial line, always 8 data bits, no parity,
// 1 stop bit.
class BaudDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOptionCount = 6;
    // The choice a line at a rate outside the six is switched to on opening.
    static constexpr int kFallbackOption = 3;

    // Runs the opening steps: the rate in force is selected, or the line is switched to
    // 38400 baud when its rate is none of the six.
    explicit BaudDialog(AppState& state, UiServices& ui, QWidget* parent = nullptr);
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
    // The port was open, was closed for the change and could not be opened again: it stays
    // closed and the operator has been told why.
    void portReopenFailed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onOk();

    std::unique_ptr<Ui::BaudDialog> m_ui;
    AppState& m_state;
    UiServices& m_uiServices;
    std::array<QRadioButton*, kOptionCount> m_optBaudRate{};
    QString m_oldBaud;
    QString m_newBaud;
};
