#pragma once

#include <QRect>
#include <QString>

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

} // namespace DialogParts
