#pragma once

#include <QIcon>

// The program's own icon: a ticket on a weighing platform, drawn at several sizes.
namespace AppIcon {

QIcon icon();

} // namespace AppIcon
