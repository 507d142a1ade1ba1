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

    Fonts::set(m_ui->okButton, Fonts::kDefault, true);
    Fonts::set(m_ui->englishLabel, Fonts::kMedium, true);
    Fonts::set(m_ui->spanishLabel, Fonts::kMedium, true);

    m_ui->englishLabel->setText(WindowLook::withLineBreaks(kEnglishHint));
    m_ui->spanishLabel->setText(WindowLook::withLineBreaks(kSpanishHint));

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

HelpDialog::~HelpDialog() = default;
