#include "dialogs/TcpHostDialog.h"

#include "link/ChannelManager.h"
#include "ui/Fonts.h"
#include "ui/WindowLook.h"
#include "ui_TcpHostDialog.h"

#include <QKeyEvent>

TcpHostDialog::TcpHostDialog(ChannelManager& channels, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TcpHostDialog>())
    , m_channels(channels)
{
    m_ui->setupUi(this);
    WindowLook::setUpFixedDialog(this);
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

void TcpHostDialog::keyPressEvent(QKeyEvent* event)
{
    // Neither button is the cancel button, so Escape leaves the dialog open.
    if (WindowLook::isPlainEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TcpHostDialog::onOk()
{
    // Taken as typed: the socket reports a host it cannot reach when it connects.
    const QString host = m_ui->txtHostIP->text();
    m_channels.chooseHost(host);
    emit statusPanelText(3, host);
    accept();
}
