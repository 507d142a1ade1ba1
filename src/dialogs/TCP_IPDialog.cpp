#include "dialogs/TCP_IPDialog.h"

#include "link/ChannelManager.h"
#include "ui/Fonts.h"
#include "ui/WindowLook.h"
#include "ui_TCP_IPDialog.h"

#include <QKeyEvent>

TCP_IPDialog::TCP_IPDialog(ChannelManager& channels, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TCP_IPDialog>())
    , m_channels(channels)
{
    m_ui->setupUi(this);
    WindowLook::setUpFixedDialog(this);
    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->CancelButton, Fonts::kDefault, true);
    Fonts::set(m_ui->txtHostIP, Fonts::kMedium);
    Fonts::set(m_ui->txtPort, Fonts::kMedium);

    connect(m_ui->OKButton, &QPushButton::clicked, this, &TCP_IPDialog::onOk);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    const TcpClient& client = m_channels.tcpClient();
    m_ui->txtHostIP->setText(client.RemoteHost());
    m_ui->txtPort->setText(QString::number(client.RemotePort()));
}

TCP_IPDialog::~TCP_IPDialog() = default;

void TCP_IPDialog::keyPressEvent(QKeyEvent* event)
{
    // Neither button is the cancel button, so Escape leaves the dialog open.
    if (WindowLook::isPlainEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TCP_IPDialog::onOk()
{
    // Taken as typed: the socket reports a host it cannot reach when it connects.
    const QString host = m_ui->txtHostIP->text();
    m_channels.chooseHost(host);
    emit statusPanelText(3, host);
    accept();
}
