#include "ui/AppIcon.h"

namespace AppIcon {

QIcon icon()
{
    QIcon result;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        result.addFile(QStringLiteral(":/icons/talvor-%1.png").arg(size), QSize(size, size));
    return result;
}

} // namespace AppIcon
