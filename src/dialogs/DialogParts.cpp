#include "dialogs/DialogParts.h"

#include "ui/Palette.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

namespace {

// One instance for every dialog button, deleted with the application.
QStyle* plainButtonStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        // This built-in style fills a button with its palette's button colour inside a bevel.
        style = QStyleFactory::create(QStringLiteral("Windows"));
        if (style)
            style->setParent(QCoreApplication::instance());
    }
    return style;
}

class OwnerKeeper final : public QObject {
public:
    OwnerKeeper(QDialog& dialog, QWidget* firstField)
        : QObject(&dialog), dialog(dialog), firstField(firstField) {}

    bool eventFilter(QObject*, QEvent* event) override {
        // Spontaneous ones come from the window system (minimising and restoring), not from
        // the program showing or closing the dialog.
        if (event->spontaneous())
            return false;
        if (event->type() == QEvent::Show) {
            if (firstField)
                firstField->setFocus(Qt::OtherFocusReason);
            // Without a window manager nothing else would lift it over an owner that raised
            // itself since the dialog's last showing.
            dialog.raise();
        } else if (event->type() == QEvent::Hide) {
            handBackKeyboard();
        }
        return false;
    }

private:
    // To the modal dialog still open below, or else to the owner's window; left alone, the
    // window system gives the keyboard to no window at all.
    void handBackKeyboard() const {
        QWidget* next = QApplication::activeModalWidget();
        if (!next && dialog.parentWidget())
            next = dialog.parentWidget()->window();
        if (next && next != &dialog && next->isVisible())
            next->activateWindow();
    }

    QDialog& dialog;
    QWidget* const firstField; // a child of the dialog
};

} // namespace

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
    giveDialogFace(*part);
    part->setGeometry(bounds);
    return part;
}

void giveDialogFace(QPushButton& button) {
    button.setPalette(QPalette(Palette::lightGray));
    if (QStyle* plain = plainButtonStyle())
        button.setStyle(plain);
}

void keepWithOwner(QDialog& dialog, QWidget* firstField) {
    dialog.installEventFilter(new OwnerKeeper(dialog, firstField));
}

} // namespace DialogParts
