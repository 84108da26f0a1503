#include "dialogs/AlertDialog.h"

#include "dialogs/DialogParts.h"
#include "platform/Guard.h"
#include "ui/Palette.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <mutex>

namespace {

// Qt would expose the alert as a plain dialog.
QAccessibleInterface* alertAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String("AlertDialog") || !object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
}

} // namespace

AlertDialog::AlertDialog(QWidget* owner) : QDialog(owner) {
    static std::once_flag accessibleAsAlert;
    std::call_once(accessibleAsAlert, [] { QAccessible::installFactory(alertAccessible); });
    setModal(true);
    AlertLabel = new QLabel(this);
    AlertLabel->setObjectName(QStringLiteral("AlertLabel"));
    OKButton = new QPushButton(this);
    OKButton->setObjectName(QStringLiteral("OKButton"));

    setBackgroundColour(*this, Palette::lightGray);
    setFixedSize(300, 100);
    AlertLabel->setAlignment(Qt::AlignCenter);
    AlertLabel->setFont(Palette::dialogFont(15));
    AlertLabel->setGeometry(0, 30, 300, 40);
    OKButton->setText(QStringLiteral("OK"));
    OKButton->setGeometry(120, 70, 60, 25);
    DialogParts::giveDialogFace(*OKButton);
    setWindowTitle(QStringLiteral("Alert"));

    connect(OKButton, &QPushButton::clicked, this, &AlertDialog::OKButton_ActionPerformed);
    DialogParts::keepWithOwner(*this, OKButton);
}

void AlertDialog::setAlertMessage(const QString& message) {
    AlertLabel->setText(message);
    setAccessibleDescription(message);
}

void AlertDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    AlertDialog_WindowClosing();
}

void AlertDialog::OKButton_ActionPerformed() {
    OKButton_ActionPerformed_Interaction1();
}

void AlertDialog::OKButton_ActionPerformed_Interaction1() {
    runGuarded([this] { hide(); });
}

void AlertDialog::AlertDialog_WindowClosing() {
    AlertDialog_WindowClosing_Interaction1();
}

void AlertDialog::AlertDialog_WindowClosing_Interaction1() {
    runGuarded([this] { hide(); });
}

void raiseAlert(QWidget* owner, const QString& message) {
    AlertDialog alert(owner);
    alert.setAlertMessage(message);
    alert.move(200, 200);
    QApplication::beep();
    alert.exec();
}
