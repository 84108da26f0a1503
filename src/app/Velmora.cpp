#include "app/Velmora.h"

#include "dialogs/AddPageDialog.h"
#include "dialogs/AlertDialog.h"
#include "dialogs/ChangePageDialog.h"
#include "dialogs/ChangeSettingDialog.h"
#include "model/AccessCheck.h"
#include "platform/TextFile.h"
#include "ui/PagePanel.h"
#include "ui/PageToolTip.h"
#include "ui/VelmoraStartWindow.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDialog>
#include <cstdlib>

namespace {

// How long exit waits for the checking thread before ending the process regardless.
constexpr auto threadStopGrace = std::chrono::seconds(1);

QString saveFailedAlert(const StoredFile& file) {
    return file.path() + QStringLiteral(" を保存できませんでした。");
}

// What a read found that a save would lose, and where the original bytes are.
QString keptFileAlert(const StoredFile& file, StoredFile::Finding finding) {
    QString found;
    switch (finding) {
    case StoredFile::Finding::Unreadable:
        found = QStringLiteral(" を読めませんでした。");
        break;
    case StoredFile::Finding::ShiftJis:
        found = QStringLiteral(" を Shift_JIS で読みました。");
        break;
    case StoredFile::Finding::ExtraText:
        found = QStringLiteral(" に余分な部分がありました。");
        break;
    }
    const QString fate = file.keptCopy().isEmpty() ? QStringLiteral("ファイルはそのまま残します。")
                                                   : QStringLiteral("原本は ") + file.keptCopy() +
                                                         QStringLiteral(" に残しました。");
    return file.path() + found + u'\n' + fate;
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
    checker = this->services.makeChecker();
    CheckCycleObserver& cycleObserver = *this;
    scheduler = std::make_unique<CheckScheduler>(page, limit, *checker, cycleObserver,
                                                 this->services.tickWait);
    buildWindow();
    buildMenus();
    // What a save cut short by a crash or a kill left behind.
    removeInterruptedSaves(settingFile.path());
    removeInterruptedSaves(groupFile.path());
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

Velmora::~Velmora() {
    if (thread.joinable()) {
        scheduler->stop();
        thread.join();
    }
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
    if (thread.joinable())
        return;
    std::promise<void> finished;
    threadFinished = finished.get_future();
    thread = std::thread([this, finished = std::move(finished)]() mutable {
        scheduler->run();
        finished.set_value();
    });
}

void Velmora::readSetting() {
    if (const std::optional<QString> text = settingFile.read()) {
        bool extraText = false;
        const SettingFile::Settings settings = SettingFile::parse(*text, &extraText);
        if (extraText)
            settingFile.noteExtraText();
        BrowserString = settings.browser;
        limit = settings.updateSeconds;
    }
    setCursor(Qt::ArrowCursor);
}

bool Velmora::saveSetting() {
    return saveFile(settingFile, SettingFile::format({BrowserString, limit}));
}

bool Velmora::saveGroup() {
    return saveFile(groupFile, GroupFile::format(pageRecords()));
}

// A failed save is never silent; the caller keeps what the user did, so the next save tries
// again.
bool Velmora::saveFile(StoredFile& file, const QString& text) {
    setCursor(Qt::WaitCursor);
    const bool saved = file.write(text);
    setCursor(Qt::ArrowCursor);
    if (!saved)
        raiseAlert(this, saveFailedAlert(file));
    // What could not be saved before has been saved since: a quit that fails again is turned
    // down again.
    else if (!exiting)
        exitRefused = false;
    return saved;
}

void Velmora::readGroup() {
    // A missing, unreadable or malformed file changes nothing at all.
    const std::optional<QString> text = groupFile.read();
    bool extraText = false;
    const auto records = text ? GroupFile::parse(*text, &extraText) : std::nullopt;
    if (text && !records)
        groupFile.refuse();
    if (extraText)
        groupFile.noteExtraText();
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
    for (StoredFile* file : {&settingFile, &groupFile}) {
        if (file->findings().empty())
            continue;
        file->keepOriginal();
        for (const StoredFile::Finding finding : file->findings())
            raiseAlert(this, keptFileAlert(*file, finding));
    }
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
    if (exiting)
        return;
    exiting = true;
    const bool settingSaved = saveSetting();
    const bool groupSaved = !page.load() || saveGroup();
    // After a failed save the program stays open, so the user can make room and quit again; a
    // second quit ends it whatever the saves do, unless a save worked in between.
    if (!(settingSaved && groupSaved) && !exitRefused) {
        exitRefused = true;
        exiting = false;
        return;
    }
    // The saves are done; a request that will not let go must not hold the exit.
    if (!stopCheckingThread())
        std::_Exit(0);
    hide();
    services.quit();
}

bool Velmora::stopCheckingThread() {
    if (!thread.joinable())
        return true;
    scheduler->stop();
    if (threadFinished.wait_for(threadStopGrace) != std::future_status::ready)
        return false;
    thread.join();
    return true;
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

template <typename Work> void Velmora::postToGui(Work&& work) {
    QMetaObject::invokeMethod(this, std::forward<Work>(work), Qt::QueuedConnection);
}

// State changes are gathered: the first since the last collection posts one call that takes
// them all, however many pages change meanwhile. Pages are held weakly and looked up by
// identity when the call runs, since a rebuild may have dropped them by then.
void Velmora::repaintRequested(const Page& changed) {
    if (changedPages.markRepaint(changed))
        postToGui([this] { collectChangedPages(); });
}

void Velmora::showMainWindowRequested() {
    if (changedPages.markShowWindow())
        postToGui([this] { collectChangedPages(); });
}

void Velmora::renewed(const Page& page) {
    changedPages.markRise(page);
}

void Velmora::collectChangedPages() {
    const ChangedPages::Batch batch = changedPages.collect();
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

void Velmora::cycleStarted() {
    postToGui([this] { setCursor(Qt::WaitCursor); });
}

void Velmora::cycleFinished() {
    postToGui([this] { setCursor(Qt::ArrowCursor); });
    if (changedPages.markCycleFinished())
        postToGui([this] { collectChangedPages(); });
}
