#include "app/Fonts.h"
#include "app/TicketTalvor.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Programmable Ticket TALVOR"));
    QApplication::setFont(Fonts::sans());

    TicketTalvor window;
    window.show();
    return QApplication::exec();
}
