#include "dialogs/TcpHostDialog.h"

#include "ui/Fonts.h"
#include "ui_TcpHostDialog.h"

TcpHostDialog::TcpHostDialog(const ChannelSettings& settings, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::TcpHostDialog>())
{
    m_ui->setupUi(this);
    fixLook();
    Fonts::set(m_ui->okButton, Fonts::kDefault, true);
    Fonts::set(m_ui->cancelButton, Fonts::kDefault, true);
    Fonts::set(m_ui->hostEdit, Fonts::kMedium);
    Fonts::set(m_ui->portEdit, Fonts::kMedium);

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    m_ui->hostEdit->setText(settings.host);
    m_ui->portEdit->setText(QString::number(settings.port));
}

TcpHostDialog::~TcpHostDialog() = default;

QString TcpHostDialog::chosenHost() const
{
    return m_ui->hostEdit->text();
}
