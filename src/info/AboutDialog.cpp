#include "info/AboutDialog.h"

#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/WindowLook.h"
#include "ui_AboutDialog.h"
#include "version.h"

namespace {
constexpr int kIconPixels = 32;
}

AboutDialog::AboutDialog(QWidget* parent)
    : FixedDialog(parent)
    , m_ui(std::make_unique<Ui::AboutDialog>())
{
    m_ui->setupUi(this);
    // "Aceptar" is the cancel button too: Escape presses it, as Enter does.
    fixLook(m_ui->okButton);

    Fonts::set(m_ui->titleLabel, Fonts::kLarge, true);
    Fonts::set(m_ui->versionLabel, Fonts::kLarge, true);
    Fonts::set(m_ui->descriptionLabel, Fonts::kMedium, true);
    Fonts::set(m_ui->makerLabel, Fonts::kDefault, true);
    Fonts::set(m_ui->okButton, Fonts::kDefault, true);
    for (QWidget* label :
         {m_ui->titleLabel, m_ui->versionLabel, m_ui->descriptionLabel, m_ui->makerLabel}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
    }
    m_ui->iconLabel->setPixmap(AppIcon::icon().pixmap(kIconPixels, kIconPixels));

    setWindowTitle(tr("About ..."));
    m_ui->versionLabel->setText(versionText(
        talvor::build::kVersionMajor, talvor::build::kVersionMinor, talvor::build::kVersionPatch));
    m_ui->titleLabel->setText(QString::fromLatin1(talvor::build::kTitle));
    m_ui->makerLabel->setText(WindowLook::withLineBreaks(tr(kMakerLines)));

    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::versionText(int major, int minor, int patch)
{
    return tr("Version %1.%2.%3")
        .arg(QString::number(major), QString::number(minor), QString::number(patch));
}
