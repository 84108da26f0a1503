#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's one message box: a line of text and "OK". Screen readers see an alert whose
// description is the message.
class AlertDialog final : public QDialog {
    Q_OBJECT

public:
    explicit AlertDialog(QWidget* owner);

    void setAlertMessage(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OKButton_ActionPerformed();
    void OKButton_ActionPerformed_Interaction1();
    void AlertDialog_WindowClosing();
    void AlertDialog_WindowClosing_Interaction1();

    QLabel* AlertLabel = nullptr;
    QPushButton* OKButton = nullptr;
};

// Every alert the same way: a new dialog at (200, 200), one beep, and a modal wait until the
// user has dismissed it.
void raiseAlert(QWidget* owner, const QString& message);
