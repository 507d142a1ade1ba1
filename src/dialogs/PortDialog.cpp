#include "dialogs/PortDialog.h"

#include "dialogs/PortToolTip.h"
#include "link/ChannelManager.h"
#include "ui/Fonts.h"
#include "ui_PortDialog.h"

PortDialog::PortDialog(ChannelManager& channels, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::PortDialog>())
    , m_channels(channels)
{
    m_ui->setupUi(this);
    fixLook();
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
    connect(m_ui->OKButton, &QPushButton::clicked, this, &PortDialog::onOk);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setPortToolTips();

    m_oldPort = m_channels.channelCode();
    if (m_oldPort >= 1 && m_oldPort <= kOptionCount)
        selectOption(m_oldPort - 1);
    enableOptions();
}

PortDialog::~PortDialog() = default;

void PortDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_optCommPort[index]->setChecked(true);
    m_newPort = index + 1;
}

void PortDialog::enableOptions()
{
    for (int i = 0; i < SerialPort::kPortCount; ++i)
        m_optCommPort[i]->setEnabled(m_channels.portPresent(i + 1));
}

void PortDialog::setPortToolTips()
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k)
        m_optCommPort[k - 1]->setToolTip(
            PortToolTip::forDevice(m_channels.serialPort().portName(k)));
}

void PortDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        enableOptions();
}

void PortDialog::onOk()
{
    const ChannelManager::Shown shown = m_channels.choosePort(m_newPort);
    if (!shown.channelText.isEmpty())
        emit statusPanelText(2, shown.channelText);
    if (shown.lineTextChanged)
        emit statusPanelText(3, shown.lineText);
    accept();
}
