#pragma once

#include <QString>

class QDialog;
class QKeyEvent;

// What every secondary window of the program shares.
namespace WindowLook {

// A fixed-size modal box at the size its form gives, without minimize and maximize buttons,
// with the program's icon and the classic dialog font, discarded when it closes.
void setUpFixedDialog(QDialog* dialog);

// Escape without modifiers: a window whose buttons are neither default nor cancel ignores it.
bool isPlainEscape(const QKeyEvent* event);

// The texts separate their lines with a bare CR, which a label shows as a blank; an LF after
// each such CR makes the label break the line while the CR itself stays in the text.
QString withLineBreaks(const QString& text);

} // namespace WindowLook
