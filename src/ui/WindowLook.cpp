#include "ui/WindowLook.h"

#include "ui/AppIcon.h"
#include "ui/Fonts.h"

#include <QDialog>
#include <QKeyEvent>

namespace WindowLook {

void setUpFixedDialog(QDialog* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setModal(true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFixedSize(dialog->size());
    dialog->setWindowIcon(AppIcon::icon());
    dialog->setFont(Fonts::sans());
}

bool isPlainEscape(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
}

QString withLineBreaks(const QString& text)
{
    QString result;
    result.reserve(text.size() + 4);
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text.at(i));
        const bool bareCr =
            text.at(i) == u'\r' && (i + 1 == text.size() || text.at(i + 1) != u'\n');
        if (bareCr)
            result.append(u'\n');
    }
    return result;
}

} // namespace WindowLook
