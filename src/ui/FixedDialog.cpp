#include "ui/FixedDialog.h"

#include "ui/WindowLook.h"

#include <QAbstractButton>
#include <QKeyEvent>

void FixedDialog::fixLook(QAbstractButton* cancelButton)
{
    m_cancelButton = cancelButton;
    WindowLook::setUpFixedDialog(this);
}

void FixedDialog::keyPressEvent(QKeyEvent* event)
{
    if (WindowLook::isPlainEscape(event)) {
        event->accept();
        if (m_cancelButton)
            m_cancelButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
