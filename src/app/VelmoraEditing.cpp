// The three editing commands: each runs its dialog and saves an accepted change at once.
#include "app/Velmora.h"
#include "dialogs/AddPageDialog.h"
#include "dialogs/ChangePageDialog.h"
#include "dialogs/ChangeSettingDialog.h"
#include "ui/ScreenCentre.h"

void Velmora::addPage() {
    centreOnScreen(*addPageDialog);
    addPageDialog->exec();
    const QString url = addPageDialog->getPageURLString();
    if (url == QStringLiteral("http://"))
        return;
    std::vector<GroupFile::PageRecord> records = pageRecords();
    records.push_back({addPageDialog->getPageTitleString(), url, 0});
    replacePageList(records);
}

void Velmora::changePage() {
    centreOnScreen(*changePageDialog);
    const PageList list = page.load();
    if (!list)
        return;
    changePageDialog->setPage(*list);
    changePageDialog->exec();
    const auto& edited = changePageDialog->getPage();
    if (!edited)
        return;
    std::vector<GroupFile::PageRecord> records;
    // Times are taken now: a check may have recorded a newer one while the dialog was open.
    for (const ChangePageDialog::EditedPage& each : *edited)
        records.push_back({each.title, each.url, each.original->getLastModifiedDateLong()});
    replacePageList(records);
}

void Velmora::changeSetting() {
    centreOnScreen(*changeSettingDialog);
    changeSettingDialog->setTime(limit);
    changeSettingDialog->setBrowser(BrowserString);
    changeSettingDialog->exec();
    const qint32 seconds = changeSettingDialog->getTime();
    if (seconds <= 0)
        return;
    limit = seconds;
    BrowserString = changeSettingDialog->getBrowser();
    saveSetting();
}
