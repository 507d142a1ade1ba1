#include "dialogs/CommDialog.h"

#include "app/AppState.h"
#include "app/Fonts.h"
#include "dialogs/PortReopen.h"
#include "dialogs/PortToolTip.h"
#include "info/WindowLook.h"
#include "ui_CommDialog.h"

#include <QKeyEvent>

CommDialog::CommDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::CommDialog>())
    , m_state(state)
    , m_uiServices(ui)
{
    m_ui->setupUi(this);
    WindowLook::setUpFixedDialog(this);
    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->CancelButton, Fonts::kDefault, true);

    m_optCommPort = {m_ui->optCommPort_0, m_ui->optCommPort_1, m_ui->optCommPort_2,
                     m_ui->optCommPort_3, m_ui->optCommPort_4, m_ui->optCommPort_5,
                     m_ui->optCommPort_6, m_ui->optCommPort_7, m_ui->optCommPort_8};
    for (int i = 0; i < kOptionCount; ++i) {
        // Arrow keys move the selection without a click, so the choice follows the check mark.
        connect(m_optCommPort[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                m_newPort = i + 1;
        });
    }
    connect(m_ui->OKButton, &QPushButton::clicked, this, &CommDialog::onOk);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setPortToolTips();

    m_oldPort = m_state.TcpMode ? AppState::kTcpChannel : m_state.commPort1().CommPort();
    if (m_oldPort >= 1 && m_oldPort <= kOptionCount)
        selectOption(m_oldPort - 1);
    enableOptions();
}

CommDialog::~CommDialog() = default;

void CommDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_optCommPort[index]->setChecked(true);
    m_newPort = index + 1;
}

void CommDialog::enableOptions()
{
    for (int i = 0; i < SerialPort::kPortCount; ++i)
        m_optCommPort[i]->setEnabled(m_state.PortPresent[i]);
}

void CommDialog::setPortToolTips()
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k)
        m_optCommPort[k - 1]->setToolTip(PortToolTip::forDevice(m_state.commPort1().portName(k)));
}

void CommDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        enableOptions();
}

void CommDialog::keyPressEvent(QKeyEvent* event)
{
    // Neither button is the cancel button, so Escape leaves the dialog open.
    if (WindowLook::isPlainEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CommDialog::onOk()
{
    SettingsStore& settings = m_state.settings();
    if (m_newPort == AppState::kTcpChannel) {
        m_state.TcpMode = true;
        if (m_oldPort != AppState::kTcpChannel) {
            settings.WriteIniValue(AppState::kSection, AppState::kKeyCommPort,
                                   QStringLiteral("TCP"));
            emit statusPanelText(2, QStringLiteral("TCP/IP"));
            emit statusPanelText(3, QString());
        }
        accept();
        return;
    }

    const int port = m_newPort;
    m_state.TcpMode = false;
    if (port != m_oldPort) {
        SerialPort& commPort1 = m_state.commPort1();
        const bool reopenFailed = !PortReopen::apply(
            commPort1, m_uiServices, [port](SerialPort& serial) { serial.setCommPort(port); });
        settings.WriteIniValue(AppState::kSection, AppState::kKeyCommPort, QString::number(port));
        if (reopenFailed)
            emit portReopenFailed();
    }
    emit statusPanelText(2, AppState::comPortText(port));
    accept();
}
