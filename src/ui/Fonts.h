#pragma once

#include <QFont>

class QWidget;

// The windows are drawn in the classic 8.25-point sans-serif dialog face, or the nearest one
// the machine has.
namespace Fonts {

inline constexpr qreal kDefault = 8.25;
inline constexpr qreal kMedium = 9.75;
inline constexpr qreal kLarge = 12.0;

QFont sans(qreal pointSize = kDefault, bool bold = false);
// A fixed-pitch face, for text whose columns must line up: ticket bytes, hex dumps.
QFont fixed(qreal pointSize = kMedium);
// Sets the font on the widget alone, leaving its children to their own.
void set(QWidget* widget, qreal pointSize, bool bold = false);

} // namespace Fonts
