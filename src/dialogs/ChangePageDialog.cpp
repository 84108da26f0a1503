#include "dialogs/ChangePageDialog.h"

#include "dialogs/CommaField.h"
#include "dialogs/DialogParts.h"
#include "platform/Guard.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

int selectedRow(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

} // namespace

ChangePageDialog::ChangePageDialog(QWidget* owner, bool modal) : QDialog(owner), Parent(owner) {
    setObjectName(QStringLiteral("changePageDialog"));
    setModal(modal);
    setBackgroundColour(*this, Palette::lightGray);
    setFixedSize(400, 250);

    using namespace DialogParts;
    PageList = new QListWidget(this);
    PageList->setObjectName(QStringLiteral("PageList"));
    PageList->setSelectionMode(QAbstractItemView::SingleSelection);
    PageList->setFont(Palette::dialogFont(13));
    PageList->setGeometry(20, 40, 150, 200);
    DeleteButton = button(this, "DeleteButton", QStringLiteral("Delete"), {190, 210, 60, 25});
    DeleteButton->setEnabled(false);
    OKButton = button(this, "OKButton", QStringLiteral("OK"), {260, 210, 60, 25});
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton", QStringLiteral("Cancel"), {330, 210, 60, 25});
    for (QPushButton* each : {DeleteButton, OKButton, CancelButton})
        setBackgroundColour(*each, Palette::lightGray);
    TitleLabel = label(this, "TitleLabel", QStringLiteral("Title"), {180, 60, 100, 20}, 13);
    TitleTextField = textField(this, "TitleTextField", {190, 90, 200, 20}, 15);
    URLLabel = label(this, "URLLabel", QStringLiteral("URL"), {180, 130, 100, 20}, 13);
    URLTextField = textField(this, "URLTextField", {190, 160, 200, 20}, 15);
    // Screen readers name each field after the label above it; the list has no label.
    TitleLabel->setBuddy(TitleTextField);
    URLLabel->setBuddy(URLTextField);
    PageList->setAccessibleName(QStringLiteral("Pages"));
    // The keyboard goes the way the eye reads: the list, the fields beside it, the buttons.
    QWidget* const tabOrder[] = {PageList,     TitleTextField, URLTextField,
                                 DeleteButton, OKButton,       CancelButton};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    setWindowTitle(QStringLiteral("Change page settings"));

    connect(CancelButton, &QPushButton::clicked, this,
            &ChangePageDialog::CancelButton_ActionPerformed);
    connect(PageList, &QListWidget::itemSelectionChanged, this,
            &ChangePageDialog::PageList_ItemStateChanged);
    connect(DeleteButton, &QPushButton::clicked, this,
            &ChangePageDialog::DeleteButton_ActionPerformed);
    connect(OKButton, &QPushButton::clicked, this, &ChangePageDialog::OKButton_ActionPerformed);
    refuseCommas(*TitleTextField, Parent, CommaMessages::title);
    refuseCommas(*URLTextField, Parent, CommaMessages::url);
    keepWithOwner(*this, PageList);
}

void ChangePageDialog::setPage(const PageVector& pages) {
    std::vector<EditedPage> copies;
    copies.reserve(pages.size());
    for (const auto& each : pages)
        copies.push_back({each, each->getPageTitleString(), each->getPageURLString()});
    page = std::move(copies);
    fillPageList();
}

void ChangePageDialog::fillPageList() {
    // The program's own changes to the list are no selection by the user.
    const QSignalBlocker programChange(PageList);
    PageList->clear();
    if (page) {
        for (const EditedPage& each : *page)
            PageList->addItem(each.title);
    }
    PageList->setCurrentRow(-1);
    PageList->clearSelection();
}

void ChangePageDialog::setVisible(bool visible) {
    if (visible) {
        URLTextField->setText(QStringLiteral("http://"));
        TitleTextField->setText(QString());
        setFieldsEnabled(false);
        SelectedIndex_Old = -1;
        const QSignalBlocker programChange(PageList);
        PageList->clearSelection();
        // No current row either: the list would mark its first row on taking the keyboard,
        // and Down would then skip it.
        PageList->setCurrentIndex(QModelIndex());
    }
    QDialog::setVisible(visible);
}

void ChangePageDialog::writeFieldsBack(int index) {
    if (!page || index < 0 || static_cast<size_t>(index) >= page->size())
        return;
    EditedPage& edited = (*page)[static_cast<size_t>(index)];
    edited.title = TitleTextField->text();
    edited.url = URLTextField->text();
}

void ChangePageDialog::deletePage() {
    const int selected = selectedRow(*PageList);
    if (!page || selected < 0 || static_cast<size_t>(selected) >= page->size())
        return;
    page->erase(page->begin() + selected);
    SelectedIndex_Old = -1;
    fillPageList();
    TitleTextField->setText(QString());
    URLTextField->setText(QString());
    setFieldsEnabled(false);
}

// The fields take typing only while they belong to a selected page, so no edit is dropped.
void ChangePageDialog::setFieldsEnabled(bool enabled) {
    TitleTextField->setEnabled(enabled);
    URLTextField->setEnabled(enabled);
}

void ChangePageDialog::closeDialog(bool accepted) {
    if (!accepted)
        page.reset();
    const QSignalBlocker programChange(PageList);
    PageList->clear();
    hide();
}

void ChangePageDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    ChangePageDialog_WindowClosing();
}

void ChangePageDialog::reject() {
    ChangePageDialog_WindowClosing();
}

void ChangePageDialog::OKButton_ActionPerformed() {
    OKButton_ActionPerformed_Interaction1();
}

void ChangePageDialog::OKButton_ActionPerformed_Interaction1() {
    runGuarded([this] {
        writeFieldsBack(selectedRow(*PageList));
        closeDialog(true);
    });
}

void ChangePageDialog::DeleteButton_ActionPerformed() {
    DeleteButton_ActionPerformed_Interaction1();
}

void ChangePageDialog::DeleteButton_ActionPerformed_Interaction1() {
    runGuarded([this] { deletePage(); });
}

void ChangePageDialog::CancelButton_ActionPerformed() {
    CancelButton_ActionPerformed_Interaction1();
}

void ChangePageDialog::CancelButton_ActionPerformed_Interaction1() {
    runGuarded([this] { closeDialog(false); });
}

void ChangePageDialog::ChangePageDialog_WindowClosing() {
    ChangePageDialog_WindowClosing_Interaction1();
}

void ChangePageDialog::ChangePageDialog_WindowClosing_Interaction1() {
    runGuarded([this] { closeDialog(false); });
}

void ChangePageDialog::PageList_ItemStateChanged() {
    PageList_ItemStateChanged_Interaction1();
}

void ChangePageDialog::PageList_ItemStateChanged_Interaction1() {
    runGuarded([this] {
        writeFieldsBack(SelectedIndex_Old);
        SelectedIndex_Old = selectedRow(*PageList);
        const bool selected = SelectedIndex_Old >= 0 && page;
        if (selected) {
            const EditedPage& shown = (*page)[static_cast<size_t>(SelectedIndex_Old)];
            TitleTextField->setText(shown.title);
            URLTextField->setText(shown.url);
            DeleteButton->setEnabled(true);
        } else {
            // A click beside the rows ends the editing: the texts went back to their page.
            TitleTextField->setText(QString());
            URLTextField->setText(QString());
        }
        setFieldsEnabled(selected);
        // Refilled so that a title just written back shows its new text.
        fillPageList();
        if (selected) {
            const QSignalBlocker programChange(PageList);
            PageList->setCurrentRow(SelectedIndex_Old);
        }
    });
}
