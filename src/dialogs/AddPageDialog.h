#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the title and URL of a page to add. Built once; its texts carry over between
// showings, and Cancel puts them back to an empty title and "http://".
class AddPageDialog final : public QDialog {
    Q_OBJECT

public:
    AddPageDialog(QWidget* owner, bool modal);

    QString getPageTitleString() const;
    QString getPageURLString() const;
    void setPageTitleString(const QString& title);
    void setPageURLString(const QString& url);

    // Accepted input closes the dialog only when a URL was typed.
    void closeDialog(bool accepted);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OKButton_ActionPerformed();
    void OKButton_ActionPerformed_Interaction1();
    void CancelButton_ActionPerformed();
    void CancelButton_ActionPerformed_Interaction1();
    void AddPageDialog_WindowClosing();

    QLabel* TitleLabel = nullptr;
    QLineEdit* TitleTextField = nullptr;
    QLabel* URLLabel = nullptr;
    QLineEdit* URLTextField = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};
