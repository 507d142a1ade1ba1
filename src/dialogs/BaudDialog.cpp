#include "dialogs/BaudDialog.h"

#include "link/ChannelManager.h"
#include "ui/Fonts.h"
#include "ui_BaudDialog.h"

BaudDialog::BaudDialog(ChannelManager& channels, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::BaudDialog>())
    , m_channels(channels)
{
    m_ui->setupUi(this);
    fixLook();
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

    m_oldBaud = QString::number(m_channels.rateForDialog());
    for (int i = 0; i < kOptionCount; ++i) {
        if (rateText(i) == m_oldBaud)
            selectOption(i);
    }
}

BaudDialog::~BaudDialog() = default;

QString BaudDialog::rateText(int index)
{
    return QString::number(ChannelManager::kBaudRates.at(index));
}

void BaudDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_optBaudRate[index]->setChecked(true);
    m_newBaud = rateText(index);
}

void BaudDialog::onOk()
{
    emit statusPanelText(3, m_channels.chooseRate(m_newBaud.toInt()));
    accept();
}
