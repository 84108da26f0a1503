#pragma once

#include "model/PageList.h"

#include <QDialog>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Edits titles and URLs of the pages and deletes pages. It works on copies: the program's
// pages change only when "OK" hands the edited list back, so "Cancel" undoes everything.
class ChangePageDialog final : public QDialog {
    Q_OBJECT

public:
    // One row of the list being edited; the page it came from keeps its recorded time.
    struct EditedPage {
        std::shared_ptr<const Page> original;
        QString title;
        QString url;
    };

    ChangePageDialog(QWidget* owner, bool modal);

    void setPage(const PageVector& pages);
    // The edited list after "OK"; no value after "Cancel" or the close box.
    const std::optional<std::vector<EditedPage>>& getPage() const { return page; }
    void setVisible(bool visible) override;
    void deletePage();
    void closeDialog(bool accepted);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void fillPageList();
    void writeFieldsBack(int index);
    void setFieldsEnabled(bool enabled);

    void OKButton_ActionPerformed();
    void OKButton_ActionPerformed_Interaction1();
    void DeleteButton_ActionPerformed();
    void DeleteButton_ActionPerformed_Interaction1();
    void CancelButton_ActionPerformed();
    void CancelButton_ActionPerformed_Interaction1();
    void ChangePageDialog_WindowClosing();
    void ChangePageDialog_WindowClosing_Interaction1();
    void PageList_ItemStateChanged();
    void PageList_ItemStateChanged_Interaction1();

    QWidget* const Parent;
    std::optional<std::vector<EditedPage>> page;
    int SelectedIndex_Old = -1;
    QListWidget* PageList = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QLabel* TitleLabel = nullptr;
    QLineEdit* TitleTextField = nullptr;
    QLabel* URLLabel = nullptr;
    QLineEdit* URLTextField = nullptr;
};
