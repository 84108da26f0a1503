#pragma once

#include <QRect>
#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Small builders for the fixed-bound dialogs: every part is placed at exact pixel bounds.
namespace DialogParts {

QLabel* label(QWidget* dialog, const char* name, const QString& text, const QRect& bounds,
              int fontPixels);
QLineEdit* textField(QWidget* dialog, const char* name, const QRect& bounds, int fontPixels);
QPushButton* button(QWidget* dialog, const char* name, const QString& text, const QRect& bounds);

// A flat face in the dialogs' light grey with a plain bevel; the desktop style would paint a
// near-white gradient that stands out from the rest of the dialog.
void giveDialogFace(QPushButton& button);

// Every showing comes up above the owning window, with the keyboard in firstField (when given)
// rather than on whatever button ended the last showing; closing hands the keyboard back to
// the window below, so the owner's shortcuts work again at once.
void keepWithOwner(QDialog& dialog, QWidget* firstField);

} // namespace DialogParts
