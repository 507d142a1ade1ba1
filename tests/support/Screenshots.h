#pragma once

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QToolTip>
#include <QWidget>

// Pictures of the windows for the documentation, saved when TALVOR_SCREENSHOT_DIR names a folder.
namespace Screenshots {

inline QString folder()
{
    return qEnvironmentVariable("TALVOR_SCREENSHOT_DIR");
}

// The window with the tooltip of one of its widgets shown under it, as the pointer resting there
// would show it; the picture grows where the tooltip reaches past the window.
inline QPixmap withToolTip(QWidget* window, QWidget* widget)
{
    const QPixmap shot = window->grab();
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    QToolTip::showText(widget->mapToGlobal(QPoint(widget->width() / 2, widget->height())),
                       widget->toolTip(), widget);
    QWidget* tip = nullptr;
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate->inherits("QTipLabel") && candidate->isVisible())
            tip = candidate;
    }
    if (!tip)
        return shot;
    const QRect tipRect(tip->mapToGlobal(QPoint(0, 0)) - origin, tip->size());
    const QRect all = QRect(QPoint(0, 0), shot.size()).united(tipRect);
    QPixmap picture(all.size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(-all.topLeft(), shot);
    painter.drawPixmap(tipRect.topLeft() - all.topLeft(), tip->grab());
    painter.end();
    QToolTip::hideText();
    return picture;
}

// Saves the picture as name in folder(); nothing without a folder.
inline void save(const QPixmap& picture, const QString& name)
{
    if (!folder().isEmpty())
        picture.save(folder() + u'/' + name);
}

} // namespace Screenshots
