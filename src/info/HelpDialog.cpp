#include "info/HelpDialog.h"

#include "ui/Fonts.h"
#include "ui/WindowLook.h"
#include "ui_HelpDialog.h"

HelpDialog::HelpDialog(QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::HelpDialog>())
{
    m_ui->setupUi(this);
    fixLook();

    Fonts::set(m_ui->OKButton, Fonts::kDefault, true);
    Fonts::set(m_ui->lblEnglish, Fonts::kMedium, true);
    Fonts::set(m_ui->lblSpanish, Fonts::kMedium, true);

    m_ui->lblEnglish->setText(WindowLook::withLineBreaks(kEnglishHint));
    m_ui->lblSpanish->setText(WindowLook::withLineBreaks(kSpanishHint));

    connect(m_ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

HelpDialog::~HelpDialog() = default;
