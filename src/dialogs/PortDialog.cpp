#include "dialogs/PortDialog.h"

#include "dialogs/PortToolTip.h"
#include "ui/Fonts.h"
#include "ui_PortDialog.h"

PortDialog::PortDialog(const ChannelSettings& settings, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::PortDialog>())
{
    m_ui->setupUi(this);
    fixLook();
    Fonts::set(m_ui->okButton, Fonts::kDefault, true);
    Fonts::set(m_ui->cancelButton, Fonts::kDefault, true);

    m_portOptions = {m_ui->comOption1, m_ui->comOption2, m_ui->comOption3,
                     m_ui->comOption4, m_ui->comOption5, m_ui->comOption6,
                     m_ui->comOption7, m_ui->comOption8, m_ui->tcpOption};
    for (int i = 0; i < kOptionCount; ++i) {
        // Arrow keys move the selection without a click, so the choice follows the check mark.
        connect(m_portOptions[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                m_chosenChannel = choiceOf(i);
        });
    }
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    for (int k = 1; k <= ComPorts::kCount; ++k) {
        m_portOptions[k - 1]->setToolTip(PortToolTip::forDevice(settings.devices.at(k - 1)));
        m_portOptions[k - 1]->setEnabled(settings.present.at(k - 1));
    }
    m_initialChannel = settings.channel;
    selectOption(settings.channel.isNetwork() ? kTcpOption : settings.channel.comNumber - 1);
}

ChannelSettings::Choice PortDialog::choiceOf(int index)
{
    return index == kTcpOption ? ChannelSettings::Choice::network()
                               : ChannelSettings::Choice::com(index + 1);
}

PortDialog::~PortDialog() = default;

void PortDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_portOptions[index]->setChecked(true);
    m_chosenChannel = choiceOf(index);
}
