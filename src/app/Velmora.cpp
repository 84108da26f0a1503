#include "app/Velmora.h"

#include "dialogs/AddPageDialog.h"
#include "dialogs/AlertDialog.h"
#include "dialogs/ChangePageDialog.h"
#include "dialogs/ChangeSettingDialog.h"
#include "model/AccessCheck.h"
#include "ui/PagePanel.h"
#include "ui/PageToolTip.h"
#include "ui/VelmoraStartWindow.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDialog>
#include <cstdlib>

namespace {

QString saveFailedAlert(const DataFiles::SaveResult& failed) {
    return failed.file + QStringLiteral(" を保存できませんでした。");
}

// What a read found that a save would lose, and where the original bytes are.
QString keptFileAlert(const DataFiles::Notice& notice) {
    QString found;
    switch (notice.finding) {
    case DataFiles::Finding::Unreadable:
        found = QStringLiteral(" を読めませんでした。");
        break;
    case DataFiles::Finding::ShiftJis:
        found = QStringLiteral(" を Shift_JIS で読みました。");
        break;
    case DataFiles::Finding::ExtraText:
        found = QStringLiteral(" に余分な部分がありました。");
        break;
    }
    const QString fate = notice.keptCopy.isEmpty() ? QStringLiteral("ファイルはそのまま残します。")
                                                   : QStringLiteral("原本は ") + notice.keptCopy +
                                                         QStringLiteral(" に残しました。");
    return notice.file + found + u'\n' + fate;
}

} // namespace

VelmoraServices VelmoraServices::real() {
    VelmoraServices services;
    services.makeChecker = [] { return std::make_unique<AccessCheck>(); };
    services.quit = [] { QCoreApplication::exit(0); };
    services.notificationBus = [] { return QDBusConnection::sessionBus(); };
    return services;
}

Velmora::Velmora(VelmoraServices services) : services(std::move(services)) {
    buildWindow();
    buildMenus();
    files.removeInterruptedSaves();
    readSetting();
    StartWindow = new VelmoraStartWindow(this, VERSION);
    // The rest of the start waits for the start window's show to end, in the event loop.
    connect(StartWindow, &VelmoraStartWindow::finished, this, &Velmora::finishStartUp);
    StartWindow->showFor(this->services.startWindowTime);
}

void Velmora::finishStartUp() {
    startVelmora();
    addPageDialog = new AddPageDialog(this, true);
    changePageDialog = new ChangePageDialog(this, true);
    changeSettingDialog = new ChangeSettingDialog(this);
    changeSettingDialog->setTime(limit);
    changeSettingDialog->setBrowser(BrowserString);
    ToolTip = new PageToolTip(this);
    listenToPanel();
    readGroup();
    reportKeptFiles();
}

void Velmora::startVelmora() {
    // Asked while the start window shows, as by a second copy, it leaves the window to the start.
    if (StartWindow->isVisible()) {
        StartWindow->raise();
        return;
    }
    showMainWindow();
    // The start window had the focus; hand it on to the window the user works in.
    activateWindow();
    checking.start();
}

void Velmora::readSetting() {
    if (const std::optional<SettingFile::Settings> settings = files.readSetting()) {
        BrowserString = settings->browser;
        limit = settings->updateSeconds;
    }
    setCursor(Qt::ArrowCursor);
}

bool Velmora::saveSetting() {
    const SettingFile::Settings settings{BrowserString, limit};
    return saveFile([&] { return files.saveSetting(settings); });
}

bool Velmora::saveGroup() {
    const std::vector<GroupFile::PageRecord> records = pageRecords();
    return saveFile([&] { return files.saveGroup(records); });
}

// A failed save is never silent; the caller keeps what the user did, so the next save tries
// again.
bool Velmora::saveFile(const std::function<DataFiles::SaveResult()>& save) {
    setCursor(Qt::WaitCursor);
    const DataFiles::SaveResult result = save();
    setCursor(Qt::ArrowCursor);
    if (!result.saved())
        raiseAlert(this, saveFailedAlert(result));
    return result.saved();
}

void Velmora::readGroup() {
    // A missing, unreadable or malformed file changes nothing at all.
    const std::optional<std::vector<GroupFile::PageRecord>> records = files.readGroup();
    if (!records) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    removeTiles();
    if (records->empty()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    showPages(makePages(*records));
}

// A file the program could not read whole, or read as Shift_JIS, is copied aside now, so that
// the user learns at once where its contents are; no later save replaces it without that copy.
void Velmora::reportKeptFiles() {
    for (const DataFiles::Notice& notice : files.keepOriginals())
        raiseAlert(this, keptFileAlert(notice));
}

void Velmora::showPages(const PageList& list) {
    installPages(list);
    showMainWindow();
    setCursor(Qt::ArrowCursor);
    setScrollBar();
}

std::vector<GroupFile::PageRecord> Velmora::pageRecords() const {
    std::vector<GroupFile::PageRecord> records;
    if (const PageList list = page.load()) {
        for (const auto& each : *list)
            records.push_back({each->getPageTitleString(), each->getPageURLString(),
                               each->getLastModifiedDateLong()});
    }
    return records;
}

PageList Velmora::makePages(const std::vector<GroupFile::PageRecord>& records) {
    auto list = std::make_shared<PageVector>();
    for (const GroupFile::PageRecord& record : records) {
        PageObserver* observer = this;
        auto each = std::make_shared<Page>(observer);
        each->setPageTitleString(record.title);
        each->setPageURLString(record.url);
        each->setLastModifiedDateLong(record.lastModified);
        list->push_back(std::move(each));
    }
    return list;
}

// An edited list is saved at once and read back, so the tiles always show what the file holds.
// When the file cannot be written the edit stays in memory and on screen, and exit tries
// again, rather than the old file silently taking the edit back.
void Velmora::replacePageList(const std::vector<GroupFile::PageRecord>& records) {
    const PageList list = makePages(records);
    page.store(list);
    if (saveGroup()) {
        readGroup();
        return;
    }
    removeTiles();
    if (!list->empty())
        showPages(list);
}

void Velmora::exit() {
    // A quit whose alerts still wait for the user, or one that is ending the program.
    if (files.quitting())
        return;
    files.beginQuit();
    saveSetting();
    if (page.load())
        saveGroup();
    // After a failed save the program stays open, so the user can make room and quit again.
    if (!files.endQuit())
        return;
    // The saves are done; a request that will not let go must not hold the exit.
    if (!checking.stop())
        std::_Exit(0);
    hide();
    services.quit();
}

void Velmora::showMainWindow() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    // Without a window manager nothing else keeps the owned dialogs over the window just raised.
    for (QDialog* owned : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
        if (owned->isVisible())
            owned->raise();
    }
    // Nor the tool tip, which would otherwise hide under the window it belongs to.
    if (ToolTip && ToolTip->isVisible())
        ToolTip->raise();
}

// A click on the desktop's notice: the user wants to see the pages now.
void Velmora::bringForward() {
    showMainWindow();
    activateWindow();
}

// State changes are gathered: the first since the last collection asks for one call that
// takes them all, however many pages change meanwhile. Pages are held weakly and looked up by
// identity when the call runs, since a rebuild may have dropped them by then.
void Velmora::repaintRequested(const Page& changed) {
    if (changedPages.markRepaint(changed))
        askForCollection();
}

void Velmora::showMainWindowRequested() {
    if (changedPages.markShowWindow())
        askForCollection();
}

void Velmora::renewed(const Page& page) {
    changedPages.markRise(page);
}

void Velmora::cycleStarted() {
    if (changedPages.markCycleStarted())
        askForCollection();
}

void Velmora::cycleFinished() {
    if (changedPages.markCycleFinished())
        askForCollection();
}

// By name, so the queued call holds no state of ours: what the GUI thread takes waits in
// changedPages.
void Velmora::askForCollection() {
    QMetaObject::invokeMethod(this, "collectChangedPages", Qt::QueuedConnection);
}

void Velmora::collectChangedPages() {
    const ChangedPages::Batch batch = changedPages.collect();
    if (batch.cycleRunning)
        setCursor(*batch.cycleRunning ? Qt::WaitCursor : Qt::ArrowCursor);
    // Asked before the window comes up for this batch.
    const bool userIsHere = isActiveWindow();
    if (batch.showWindow)
        showMainWindow();
    MainPanel->repaintPages(batch.repaint);
    announceUpdates(batch.finishedCycles, userIsHere);
}

// Desktops may refuse to let a window come up by itself; a notice always reaches the user.
// Every cycle goes through the rule, so it learns which pages rise again and again, even
// while the user looks at the window and no notice is due.
void Velmora::announceUpdates(const std::vector<std::vector<RisenPage>>& cycles, bool userIsHere) {
    QStringList names;
    for (const std::vector<RisenPage>& cycle : cycles)
        names << noticeRule.namesFor(cycle);
    if (!names.isEmpty() && !userIsHere)
        notifier.notify(UpdateNotice::summary, UpdateNotice::body(names));
}
