#include "app/Fonts.h"
#include "app/SettingsStore.h"
#include "app/TicketTalvor.h"
#include "info/AppIcon.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The name picks the settings folder (~/.config/TicketTalvor); no window shows it. The
    // desktop file name ties the windows to the installed menu entry and its icon.
    QApplication::setApplicationName(SettingsStore::kApplicationName);
    QApplication::setDesktopFileName(QStringLiteral("io.github.talvor.TicketTalvor"));
    QApplication::setFont(Fonts::sans());
    QApplication::setWindowIcon(AppIcon::icon());

    TicketTalvor window;
    window.show();
    return QApplication::exec();
}
