#include "dialogs/ChangeSettingDialog.h"

#include "dialogs/AlertDialog.h"
#include "dialogs/CommaField.h"
#include "dialogs/DialogParts.h"
#include "launch/BrowserCommand.h"
#include "platform/DecimalNumber.h"
#include "platform/Guard.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString notANumberAlert = QStringLiteral("更新時間が間違っています。");
const QString notPositiveAlert = QStringLiteral("更新時間が間違っています");
constexpr QPoint fileDialogOffset(50, 30);

} // namespace

ChangeSettingDialog::ChangeSettingDialog(QWidget* owner) : QDialog(owner), Parent(owner) {
    setObjectName(QStringLiteral("changeSettingDialog"));
    setModal(true);
    setBackgroundColour(*this, Palette::lightGray);
    setFixedSize(400, 160);

    using namespace DialogParts;
    BrowserLabel = label(this, "BrowserLabel", QStringLiteral("ブラウザー"), {20, 40, 100, 20}, 13);
    BrowserTextField = textField(this, "BrowserTextField", {60, 60, 280, 20}, 13);
    BrowserButton = button(this, "BrowserButton", QStringLiteral("..."), {360, 58, 25, 25});
    BrowserButton->setFont(Palette::dialogFont(13));
    TimeLabel = label(this, "TimeLabel", QStringLiteral("更新時間"), {20, 80, 100, 20}, 13);
    TimeTextField = textField(this, "TimeTextField", {60, 100, 100, 20}, 13);
    TimeTextField->setText(QString::number(Time));
    SecondLabel = label(this, "SecondLabel", QStringLiteral("秒"), {160, 100, 100, 20}, 13);
    OKButton = button(this, "OKButton", QStringLiteral("OK"), {110, 130, 60, 25});
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton", QStringLiteral("Cancel"), {230, 130, 60, 25});
    for (QPushButton* each : {BrowserButton, OKButton, CancelButton})
        setBackgroundColour(*each, Palette::lightGray);
    // Screen readers name each field after its label, and the "..." button by what it does.
    BrowserLabel->setBuddy(BrowserTextField);
    TimeLabel->setBuddy(TimeTextField);
    TimeTextField->setAccessibleDescription(SecondLabel->text());
    BrowserButton->setAccessibleName(QStringLiteral("Select browser"));
    setWindowTitle(QStringLiteral("Change setting"));

    connect(CancelButton, &QPushButton::clicked, this,
            &ChangeSettingDialog::CancelButton_ActionPerformed);
    connect(OKButton, &QPushButton::clicked, this, &ChangeSettingDialog::OKButton_ActionPerformed);
    connect(BrowserButton, &QPushButton::clicked, this,
            &ChangeSettingDialog::BrowserButton_ActionPerformed);
    // A comma would split the settings file's browser field in two.
    refuseCommas(*BrowserTextField, Parent, CommaMessages::url);
    keepWithOwner(*this, BrowserTextField);
}

// Built on first use and kept: the file dialog starts a file system watcher of its own,
// which a start-up does not need.
QFileDialog& ChangeSettingDialog::openBrowserDialog() {
    if (!OpenBrowserDialog) {
        OpenBrowserDialog = new QFileDialog(Parent, QStringLiteral("Select browser"));
        OpenBrowserDialog->setObjectName(QStringLiteral("OpenBrowserDialog"));
        OpenBrowserDialog->setFileMode(QFileDialog::ExistingFile);
        OpenBrowserDialog->setAcceptMode(QFileDialog::AcceptOpen);
        DialogParts::keepWithOwner(*OpenBrowserDialog, nullptr);
    }
    return *OpenBrowserDialog;
}

void ChangeSettingDialog::setTime(qint32 seconds) {
    Time = seconds;
    TimeTextField->setText(QString::number(seconds));
}

void ChangeSettingDialog::setBrowser(const QString& browser) {
    BrowserString = browser;
    BrowserTextField->setText(browser);
}

void ChangeSettingDialog::closeDialog(bool accepted) {
    if (!accepted) {
        BrowserString.clear();
        Time = -1;
        hide();
        return;
    }
    const QString text = TimeTextField->text();
    if (text.isEmpty())
        return;
    const std::optional<qint32> seconds = parseInt32(text);
    if (!seconds) {
        raiseAlert(Parent, notANumberAlert);
        return;
    }
    Time = *seconds;
    if (Time <= 0) {
        raiseAlert(Parent, notPositiveAlert);
        return;
    }
    BrowserString = BrowserTextField->text();
    hide();
}

void ChangeSettingDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    ChangeSettingDialog_WindowClosing();
}

void ChangeSettingDialog::reject() {
    ChangeSettingDialog_WindowClosing();
}

void ChangeSettingDialog::OKButton_ActionPerformed() {
    OKButton_ActionPerformed_Interaction1();
}

void ChangeSettingDialog::OKButton_ActionPerformed_Interaction1() {
    runGuarded([this] { closeDialog(true); });
}

void ChangeSettingDialog::CancelButton_ActionPerformed() {
    CancelButton_ActionPerformed_Interaction1();
}

void ChangeSettingDialog::CancelButton_ActionPerformed_Interaction1() {
    runGuarded([this] { closeDialog(false); });
}

void ChangeSettingDialog::ChangeSettingDialog_WindowClosing() {
    ChangeSettingDialog_WindowClosing_Interaction1();
}

void ChangeSettingDialog::ChangeSettingDialog_WindowClosing_Interaction1() {
    runGuarded([this] { closeDialog(false); });
}

void ChangeSettingDialog::BrowserButton_ActionPerformed() {
    BrowserButton_ActionPerformed_Interaction1();
}

void ChangeSettingDialog::BrowserButton_ActionPerformed_Interaction1() {
    runGuarded([this] {
        QFileDialog& dialog = openBrowserDialog();
        dialog.move(pos() + fileDialogOffset);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return;
        // The chosen file's directory joined with its name, quoted when it holds blanks.
        BrowserTextField->setText(commandWord(QFileInfo(chosen.first()).absoluteFilePath()));
    });
}
