#include "dialogs/TcpHostDialog.h"

#include "ui/Fonts.h"
#include "ui_TcpHostDialog.h"

TcpHostDialog::TcpHostDialog(const ChannelSettings& settings, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::TcpHostDialog>())
{
    m_ui->setupUi(this);
    fixLook();
    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->CancelButton, Fonts::kDefault, true);
    Fonts::set(m_ui->txtHostIP, Fonts::kMedium);
    Fonts::set(m_ui->txtPort, Fonts::kMedium);

    connect(m_ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    m_ui->txtHostIP->setText(settings.host);
    m_ui->txtPort->setText(QString::number(settings.port));
}

TcpHostDialog::~TcpHostDialog() = default;

QString TcpHostDialog::chosenHost() const
{
    return m_ui->txtHostIP->text();
}
