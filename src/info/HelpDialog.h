#pragma once

#include "ui/FixedDialog.h"

#include <memory>

namespace Ui {
class HelpDialog;
}

// The Help window: names the English and the Spanish manual; it opens neither.
class HelpDialog : public FixedDialog {
    Q_OBJECT
public:
    // Language name and hint separated by a bare CR, as the window's texts keep them.
    static inline const QString kEnglishHint =
        QStringLiteral("English:\rSee file Help Help Programmable Ticket TALVOR.pdf");
    static inline const QString kSpanishHint =
        QStringLiteral("Espa\u00f1ol:\rVer archivo Ayuda ticket programable TALVOR.pdf");

    explicit HelpDialog(QWidget* parent = nullptr);
    ~HelpDialog() override;

private:
    std::unique_ptr<Ui::HelpDialog> m_ui;
};
