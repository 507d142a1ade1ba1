#include "app/MainWindow.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Programmable Ticket TALVOR"));
    QApplication::setFont(Fonts::sans());
    QApplication::setWindowIcon(AppIcon::icon());

    MainWindow window;
    window.show();
    return QApplication::exec();
}
