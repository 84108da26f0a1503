#include "dialogs/DialogParts.h"

#include "ui/Palette.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace DialogParts {

QLabel* label(QWidget* dialog, const char* name, const QString& text, const QRect& bounds,
              int fontPixels) {
    auto* part = new QLabel(text, dialog);
    part->setObjectName(QString::fromLatin1(name));
    part->setFont(Palette::dialogFont(fontPixels));
    part->setGeometry(bounds);
    return part;
}

QLineEdit* textField(QWidget* dialog, const char* name, const QRect& bounds, int fontPixels) {
    auto* part = new QLineEdit(dialog);
    part->setObjectName(QString::fromLatin1(name));
    part->setFont(Palette::dialogFont(fontPixels));
    part->setGeometry(bounds);
    return part;
}

QPushButton* button(QWidget* dialog, const char* name, const QString& text, const QRect& bounds) {
    auto* part = new QPushButton(text, dialog);
    part->setObjectName(QString::fromLatin1(name));
    part->setAutoDefault(false);
    part->setGeometry(bounds);
    return part;
}

} // namespace DialogParts
