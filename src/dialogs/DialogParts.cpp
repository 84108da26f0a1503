#include "dialogs/DialogParts.h"

#include "ui/Palette.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

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

QPoint centredPosition(const QSize& screen, const QSize& window) {
    return {screen.width() / 2 - window.width() / 2, screen.height() / 2 - window.height() / 2};
}

void centreOnScreen(QDialog& dialog) {
    dialog.move(
        centredPosition(QGuiApplication::primaryScreen()->geometry().size(), dialog.size()));
}

} // namespace DialogParts
