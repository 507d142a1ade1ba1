#pragma once

#include <QDialog>
#include <QPointer>

class QAbstractButton;

// A secondary window of the program: fixed at the size its form gives, modal, without
// minimize and maximize buttons, with the program's icon and the dialog font, discarded when it
// closes. Escape presses the window's cancel button where it has one, and does nothing else.
class FixedDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    // After setupUi(), which gives the size.
    void fixLook(QAbstractButton* cancelButton = nullptr);
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<QAbstractButton> m_cancelButton;
};
