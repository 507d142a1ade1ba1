#include "dialogs/BaudDialog.h"

#include "app/AppState.h"
#include "app/Fonts.h"
#include "dialogs/PortReopen.h"
#include "info/WindowLook.h"
#include "ui_BaudDialog.h"

#include <QKeyEvent>

BaudDialog::BaudDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::BaudDialog>())
    , m_state(state)
    , m_uiServices(ui)
{
    m_ui->setupUi(this);
    WindowLook::setUpFixedDialog(this);
    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->CancelButton, Fonts::kDefault, true);

    m_optBaudRate = {m_ui->optBaudRate_0, m_ui->optBaudRate_1, m_ui->optBaudRate_2,
                     m_ui->optBaudRate_3, m_ui->optBaudRate_4, m_ui->optBaudRate_5};
    for (int i = 0; i < kOptionCount; ++i) {
        // Arrow keys move the selection without a click, so the choice follows the check mark.
        connect(m_optBaudRate[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                m_newBaud = rateText(i);
        });
    }
    connect(m_ui->OKButton, &QPushButton::clicked, this, &BaudDialog::onOk);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    SerialPort& commPort1 = m_state.commPort1();
    m_oldBaud = commPort1.Settings().section(u',', 0, 0);
    int selected = -1;
    for (int i = 0; i < kOptionCount; ++i) {
        if (rateText(i) == m_oldBaud)
            selected = i;
    }
    if (selected < 0) {
        // A rate the dialog cannot show is replaced at once; Cancel keeps the replacement.
        selected = kFallbackOption;
        m_oldBaud = rateText(kFallbackOption);
        commPort1.setSettings(AppState::lineSettingsText(AppState::kBaudRates[kFallbackOption]));
    }
    selectOption(selected);
}

BaudDialog::~BaudDialog() = default;

QString BaudDialog::rateText(int index)
{
    return QString::number(AppState::kBaudRates.at(index));
}

void BaudDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_optBaudRate[index]->setChecked(true);
    m_newBaud = rateText(index);
}

void BaudDialog::keyPressEvent(QKeyEvent* event)
{
    // Neither button is the cancel button, so Escape leaves the dialog open.
    if (WindowLook::isPlainEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void BaudDialog::onOk()
{
    const QString lineSettings = AppState::lineSettingsText(m_newBaud.toInt());
    if (m_newBaud != m_oldBaud) {
        const bool reopened = PortReopen::apply(
            m_state.commPort1(), m_uiServices,
            [&lineSettings](SerialPort& serial) { serial.setSettings(lineSettings); });
        const int code = AppState::baudCode(m_newBaud.toInt());
        m_state.settings().WriteIniValue(AppState::kSection, AppState::kKeyCommBaudWritten,
                                         QString::number(code));
        if (!reopened)
            emit portReopenFailed();
    }
    emit statusPanelText(3, lineSettings);
    accept();
}
