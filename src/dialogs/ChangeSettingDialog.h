#pragma once

#include <QDialog>

class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits the browser command and the update time. "OK" is refused, with an alert, until the
// update time is a whole number of 1 or more.
class ChangeSettingDialog final : public QDialog {
    Q_OBJECT

public:
    explicit ChangeSettingDialog(QWidget* owner);

    void setTime(qint32 seconds);
    void setBrowser(const QString& browser);
    // -1 after "Cancel" or the close box.
    qint32 getTime() const { return Time; }
    QString getBrowser() const { return BrowserString; }
    void closeDialog(bool accepted);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QFileDialog& openBrowserDialog();

    void OKButton_ActionPerformed();
    void OKButton_ActionPerformed_Interaction1();
    void CancelButton_ActionPerformed();
    void CancelButton_ActionPerformed_Interaction1();
    void ChangeSettingDialog_WindowClosing();
    void ChangeSettingDialog_WindowClosing_Interaction1();
    void BrowserButton_ActionPerformed();
    void BrowserButton_ActionPerformed_Interaction1();

    QWidget* const Parent;
    QString BrowserString;
    qint32 Time = 2;
    QFileDialog* OpenBrowserDialog = nullptr;
    QLabel* BrowserLabel = nullptr;
    QLineEdit* BrowserTextField = nullptr;
    QPushButton* BrowserButton = nullptr;
    QLabel* TimeLabel = nullptr;
    QLineEdit* TimeTextField = nullptr;
    QLabel* SecondLabel = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};
