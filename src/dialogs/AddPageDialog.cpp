#include "dialogs/AddPageDialog.h"

#include "dialogs/CommaField.h"
#include "dialogs/DialogParts.h"
#include "platform/Guard.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString initialURL = QStringLiteral("http://");

} // namespace

AddPageDialog::AddPageDialog(QWidget* owner, bool modal) : QDialog(owner) {
    setObjectName(QStringLiteral("addPageDialog"));
    setModal(modal);
    setBackgroundColour(*this, Palette::lightGray);
    resize(300, 160);

    using namespace DialogParts;
    TitleLabel = label(this, "TitleLabel", QStringLiteral("Title:"), {25, 25, 100, 20}, 13);
    TitleTextField = textField(this, "TitleTextField", {60, 45, 200, 20}, 15);
    URLLabel = label(this, "URLLabel", QStringLiteral("URL:"), {25, 70, 100, 20}, 13);
    URLTextField = textField(this, "URLTextField", {60, 90, 200, 20}, 15);
    URLTextField->setText(initialURL);
    // Screen readers name each field after the label above it.
    TitleLabel->setBuddy(TitleTextField);
    URLLabel->setBuddy(URLTextField);
    OKButton = button(this, "OKButton", QStringLiteral("OK"), {70, 125, 60, 25});
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton", QStringLiteral("Cancel"), {180, 125, 60, 25});
    setWindowTitle(QStringLiteral("Add page"));

    connect(OKButton, &QPushButton::clicked, this, &AddPageDialog::OKButton_ActionPerformed);
    connect(CancelButton, &QPushButton::clicked, this,
            &AddPageDialog::CancelButton_ActionPerformed);
    refuseCommas(*TitleTextField, owner, CommaMessages::title);
    refuseCommas(*URLTextField, owner, CommaMessages::url);
    keepWithOwner(*this, TitleTextField);
}

QString AddPageDialog::getPageTitleString() const {
    return TitleTextField->text();
}

QString AddPageDialog::getPageURLString() const {
    return URLTextField->text();
}

void AddPageDialog::setPageTitleString(const QString& title) {
    TitleTextField->setText(title);
}

void AddPageDialog::setPageURLString(const QString& url) {
    URLTextField->setText(url);
}

void AddPageDialog::closeDialog(bool accepted) {
    if (accepted) {
        if (URLTextField->text().isEmpty())
            return;
    } else {
        TitleTextField->setText(QString());
        URLTextField->setText(initialURL);
    }
    hide();
}

void AddPageDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    AddPageDialog_WindowClosing();
}

// Escape closes the dialog like its close box.
void AddPageDialog::reject() {
    AddPageDialog_WindowClosing();
}

void AddPageDialog::OKButton_ActionPerformed() {
    OKButton_ActionPerformed_Interaction1();
}

void AddPageDialog::OKButton_ActionPerformed_Interaction1() {
    runGuarded([this] { closeDialog(true); });
}

void AddPageDialog::CancelButton_ActionPerformed() {
    CancelButton_ActionPerformed_Interaction1();
}

void AddPageDialog::CancelButton_ActionPerformed_Interaction1() {
    runGuarded([this] { closeDialog(false); });
}

void AddPageDialog::AddPageDialog_WindowClosing() {
    closeDialog(false);
}
