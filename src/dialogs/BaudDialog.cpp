#include "dialogs/BaudDialog.h"

#include "ui/Fonts.h"
#include "ui_BaudDialog.h"

BaudDialog::BaudDialog(int rate, QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::BaudDialog>())
{
    m_ui->setupUi(this);
    fixLook();
    Fonts::set(m_ui->okButton, Fonts::kDefault, true);
    Fonts::set(m_ui->cancelButton, Fonts::kDefault, true);

    m_rateOptions = {m_ui->rateOption0, m_ui->rateOption1, m_ui->rateOption2,
                     m_ui->rateOption3, m_ui->rateOption4, m_ui->rateOption5};
    for (int i = 0; i < kOptionCount; ++i) {
        // Arrow keys move the selection without a click, so the choice follows the check mark.
        connect(m_rateOptions[i], &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                m_chosenRate = LineSettings::kRates[i];
        });
    }
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    m_initialRate = rate;
    for (int i = 0; i < kOptionCount; ++i) {
        if (LineSettings::kRates[i] == rate)
            selectOption(i);
    }
}

BaudDialog::~BaudDialog() = default;

void BaudDialog::selectOption(int index)
{
    if (index < 0 || index >= kOptionCount)
        return;
    m_rateOptions[index]->setChecked(true);
    m_chosenRate = LineSettings::kRates[index];
}
