#include "dialogs/TcpHostDialog.h"

#include "link/ChannelManager.h"
#include "ui/Fonts.h"
#include "ui_TcpHostDialog.h"

TcpHostDialog::TcpHostDialog(ChannelManager& channels, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::TcpHostDialog>())
    , m_channels(channels)
{
    m_ui->setupUi(this);
    fixLook();
    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->CancelButton, Fonts::kDefault, true);
    Fonts::set(m_ui->txtHostIP, Fonts::kMedium);
    Fonts::set(m_ui->txtPort, Fonts::kMedium);

    connect(m_ui->OKButton, &QPushButton::clicked, this, &TcpHostDialog::onOk);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const TcpClient& client = m_channels.tcpClient();
    m_ui->txtHostIP->setText(client.RemoteHost());
    m_ui->txtPort->setText(QString::number(client.RemotePort()));
}

TcpHostDialog::~TcpHostDialog() = default;

void TcpHostDialog::onOk()
{
    // Taken as typed: the socket reports a host it cannot reach when it connects.
    const QString host = m_ui->txtHostIP->text();
    m_channels.chooseHost(host);
    emit statusPanelText(3, host);
    accept();
}
