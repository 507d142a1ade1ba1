#include "app/MainWindow.h"
#include "platform/SettingsStore.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/Language.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Before any window: the system's language picks Spanish or the English texts.
    Language::install();
    // The name picks the settings folder (~/.config/TicketTalvor); no window shows it. The
    // desktop file name ties the windows to the installed menu entry and its icon.
    QApplication::setApplicationName(SettingsStore::kApplicationName);
    QApplication::setDesktopFileName(QStringLiteral("io.github.talvor.TicketTalvor"));
    QApplication::setFont(Fonts::sans());
    QApplication::setWindowIcon(AppIcon::icon());

    MainWindow window;
    window.show();
    return QApplication::exec();
}
