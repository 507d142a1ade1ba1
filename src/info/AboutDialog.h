#pragma once

#include "ui/FixedDialog.h"

#include <memory>

namespace Ui {
class AboutDialog;
}

// The About window: icon, title, version and description, with the maker's lines below.
class AboutDialog : public FixedDialog {
    Q_OBJECT
public:
    // Lines separated by a bare CR, as the window's texts keep them; translated when shown.
    static constexpr const char* kMakerLines =
        QT_TR_NOOP("Programmable Ticket TALVOR\rproject contributors\r2026");

    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // "Version 1.0.3": major, minor and revision without leading zeros or a build number.
    static QString versionText(int major, int minor, int patch);

private:
    std::unique_ptr<Ui::AboutDialog> m_ui;
};
