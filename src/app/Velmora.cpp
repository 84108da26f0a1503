#include "app/Velmora.h"

#include "dialogs/AddPageDialog.h"
#include "dialogs/AlertDialog.h"
#include "dialogs/ChangePageDialog.h"
#include "dialogs/ChangeSettingDialog.h"
#include "dialogs/DialogParts.h"
#include "launch/BrowserCommand.h"
#include "model/AccessCheck.h"
#include "platform/Guard.h"
#include "storage/GroupFile.h"
#include "storage/SettingFile.h"
#include "ui/CenteredFlowLayout.h"
#include "ui/LineComponent.h"
#include "ui/PageTile.h"
#include "ui/PageToolTip.h"
#include "ui/Palette.h"
#include "ui/TileFlow.h"
#include "ui/VelmoraStartWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cstdlib>

namespace {

const QString productBanner = QStringLiteral("Velmora");
const QString homePageAddress = QStringLiteral("https://velmora.example/");
const QString browserAlert = QStringLiteral("ブラウザーの設定が間違っています。");

constexpr int windowWidth = 400;
constexpr int windowHeight = 300;
constexpr int scrollBarWidth = 15;
constexpr int scrollUnit = 10;
constexpr int scrollBlock = 100;
// How long exit waits for the checking thread before ending the process regardless.
constexpr auto threadStopGrace = std::chrono::seconds(1);

std::vector<GroupFile::PageRecord> recordsOf(const PageList& list) {
    std::vector<GroupFile::PageRecord> records;
    if (list) {
        for (const auto& each : *list)
            records.push_back({each->getPageTitleString(), each->getPageURLString(),
                               each->getLastModifiedDateLong()});
    }
    return records;
}

} // namespace

// Shared by all tiles: the pointer entering and leaving a tile, and clicks on it.
class Velmora::MouseAction final : public QObject {
public:
    explicit MouseAction(Velmora& owner) : QObject(&owner), owner(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Enter:
            if (const auto* tile = dynamic_cast<const PageTile*>(watched))
                owner.mouseEntered(*tile, static_cast<QEnterEvent*>(event)->position().toPoint());
            break;
        case QEvent::Leave:
            owner.ToolTip->hide();
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                owner.clickEvent(*static_cast<QMouseEvent*>(event));
            break;
        default:
            break;
        }
        return false;
    }

private:
    Velmora& owner;
};

// Shared by all tiles: the pointer moving over a tile.
class Velmora::MouseMoveAction final : public QObject {
public:
    explicit MouseMoveAction(Velmora& owner) : QObject(&owner), owner(owner) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseMove)
            owner.moveEvent(*static_cast<QMouseEvent*>(event));
        return false;
    }

private:
    Velmora& owner;
};

VelmoraServices VelmoraServices::real() {
    VelmoraServices services;
    services.makeChecker = [] { return std::make_unique<AccessCheck>(); };
    services.quit = [] { QCoreApplication::exit(0); };
    return services;
}

Velmora::Velmora(VelmoraServices services) : services(std::move(services)) {
    mouseAction = new MouseAction(*this);
    mouseMoveAction = new MouseMoveAction(*this);
    checker = this->services.makeChecker();
    CheckCycleObserver& cycleObserver = *this;
    scheduler = std::make_unique<CheckScheduler>(page, limit, *checker, cycleObserver,
                                                 this->services.tickWait);
    buildWindow();
    buildMenus();
    readSetting();
    StartWindow = new VelmoraStartWindow(this, this->services.startWindowTime);
    addPageDialog = new AddPageDialog(this, true);
    changePageDialog = new ChangePageDialog(this, true);
    changeSettingDialog = new ChangeSettingDialog(this);
    changeSettingDialog->setTime(limit);
    changeSettingDialog->setBrowser(BrowserString);
    ToolTip = new PageToolTip(this);
    readGroup();
}

Velmora::~Velmora() {
    if (thread.joinable()) {
        scheduler->stop();
        thread.join();
    }
}

void Velmora::buildWindow() {
    setObjectName(QStringLiteral("Velmora"));
    setWindowTitle(productBanner);

    auto* content = new QWidget(this);
    setBackgroundColour(*content, Palette::lightGray);

    Line = new LineComponent(content);
    Line->setObjectName(QStringLiteral("Line"));

    MainPanel = new QWidget(content);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    new CenteredFlowLayout(MainPanel);

    VerticalScrollBar = new QScrollBar(Qt::Vertical, content);
    VerticalScrollBar->setObjectName(QStringLiteral("VerticalScrollBar"));
    VerticalScrollBar->setFixedWidth(scrollBarWidth);
    VerticalScrollBar->setRange(0, 90);
    VerticalScrollBar->setPageStep(10);
    VerticalScrollBar->setSingleStep(scrollUnit);
    // The slider's length shows the visible share, but a click in the trough moves a fixed
    // block of 100 px.
    connect(VerticalScrollBar, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd)
            VerticalScrollBar->setSliderPosition(VerticalScrollBar->value() + scrollBlock);
        else if (action == QAbstractSlider::SliderPageStepSub)
            VerticalScrollBar->setSliderPosition(VerticalScrollBar->value() - scrollBlock);
    });
    connect(VerticalScrollBar, &QScrollBar::valueChanged, this,
            &Velmora::VerticalScrollBar_AdjustmentValueChanged);

    auto* centre = new QHBoxLayout;
    centre->setContentsMargins(0, 0, 0, 0);
    centre->setSpacing(0);
    centre->addWidget(MainPanel, 1);
    centre->addWidget(VerticalScrollBar);

    auto* regions = new QVBoxLayout(content);
    regions->setContentsMargins(0, 0, 0, 0);
    regions->setSpacing(0);
    regions->addWidget(Line);
    regions->addLayout(centre, 1);

    setCentralWidget(content);
}

QAction* Velmora::addMenuItem(QMenu* menu, const char* objectName, const QString& label,
                              const QKeySequence& shortcut, void (Velmora::*handler)()) {
    QAction* item = menu->addAction(label);
    item->setObjectName(QString::fromLatin1(objectName));
    item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, handler);
    return item;
}

void Velmora::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));

    FileMenu = bar->addMenu(QStringLiteral("ﾌｧｲﾙ"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    AddPageMenuItem =
        addMenuItem(FileMenu, "AddPageMenuItem", QStringLiteral("ページを追加"),
                    QKeySequence(Qt::CTRL | Qt::Key_A), &Velmora::AddPageMenuItem_ActionPerformed);
    ChangePageMenuItem =
        addMenuItem(FileMenu, "ChangePageMenuItem", QStringLiteral("ページの設定の変更"), {},
                    &Velmora::ChangePageMenuItem_ActionPerformed);
    ChangeSettingMenuItem = addMenuItem(
        FileMenu, "ChangeSettingMenuItem", QStringLiteral("設定の変更"),
        QKeySequence(Qt::CTRL | Qt::Key_C), &Velmora::ChangeSettingMenuItem_ActionPerformed);
    ExitMenuItem =
        addMenuItem(FileMenu, "ExitMenuItem", QStringLiteral("終了"),
                    QKeySequence(Qt::CTRL | Qt::Key_X), &Velmora::ExitMenuItem_ActionPerformed);

    HelpMenu = bar->addMenu(QStringLiteral("ﾍﾙﾌﾟ"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpMenuItem = addMenuItem(HelpMenu, "HelpMenuItem", QStringLiteral("ﾍﾙﾌﾟ"), {},
                               &Velmora::HelpMenuItem_ActionPerformed);
    WebMenuItem = addMenuItem(HelpMenu, "WebMenuItem", QStringLiteral("ﾎｰﾑﾍﾟｰｼﾞ"), {},
                              &Velmora::WebMenuItem_ActionPerformed);

    // The sizes asked for are those of the content below the menu bar.
    resize(windowWidth, windowHeight + bar->sizeHint().height());
}

void Velmora::startVelmora() {
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
    if (const auto settings = SettingFile::read(QString::fromLatin1(SettingFile::fileName))) {
        BrowserString = settings->browser;
        limit = settings->updateSeconds;
    }
    setCursor(Qt::ArrowCursor);
}

void Velmora::saveSetting() {
    setCursor(Qt::WaitCursor);
    SettingFile::write(QString::fromLatin1(SettingFile::fileName), {BrowserString, limit});
    setCursor(Qt::ArrowCursor);
}

void Velmora::saveGroup() {
    setCursor(Qt::WaitCursor);
    GroupFile::write(QString::fromLatin1(GroupFile::fileName), recordsOf(page.load()));
    setCursor(Qt::ArrowCursor);
}

void Velmora::readGroup() {
    // A missing, unreadable or malformed file changes nothing at all.
    const auto records = GroupFile::read(QString::fromLatin1(GroupFile::fileName));
    if (!records) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    removeTiles();
    MainPanel->hide();
    if (records->empty()) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    const PageList list = makePages(*records);
    installPages(list);
    MainPanel->show();
    showMainWindow();
    setCursor(Qt::ArrowCursor);
    MainPanel->layout()->activate();
    setScrollBar();
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
void Velmora::replacePageList(const std::vector<GroupFile::PageRecord>& records) {
    page.store(makePages(records));
    saveGroup();
    readGroup();
}

void Velmora::installPages(const PageList& list) {
    page.store(list);
    for (const auto& each : *list) {
        auto* tile = new PageTile(each, MainPanel);
        MainPanel->layout()->addWidget(tile);
        tiles.insert(each.get(), tile);
        tile->installEventFilter(mouseAction);
        tile->installEventFilter(mouseMoveAction);
        tile->update();
    }
}

void Velmora::removeTiles() {
    qDeleteAll(tiles);
    tiles.clear();
}

PageTile* Velmora::tileFor(const std::weak_ptr<const Page>& weak) const {
    const std::shared_ptr<const Page> alive = weak.lock();
    return alive ? tiles.value(alive.get(), nullptr) : nullptr;
}

void Velmora::setScrollBar() {
    const PageList list = page.load();
    if (!list || list->empty()) {
        VerticalScrollBar->setEnabled(false);
        return;
    }
    PageBasePosition.clear();
    for (const auto& each : *list) {
        const PageTile* tile = tiles.value(each.get(), nullptr);
        PageBasePosition.push_back(tile ? tile->pos() : QPoint());
    }
    const int bottom = PageBasePosition.back().y() + TileFlow::tileSize;
    const int visible = MainPanel->height();
    if (visible > bottom) {
        VerticalScrollBar->setEnabled(false);
        return;
    }
    const QSignalBlocker programChange(VerticalScrollBar);
    VerticalScrollBar->setRange(0, bottom - visible);
    VerticalScrollBar->setPageStep(visible);
    VerticalScrollBar->setValue(PageGap);
    VerticalScrollBar->setEnabled(true);
}

void Velmora::reShowPage() {
    const PageList list = page.load();
    if (!list)
        return;
    const size_t count = std::min(list->size(), PageBasePosition.size());
    for (size_t i = 0; i < count; ++i) {
        if (PageTile* tile = tiles.value((*list)[i].get(), nullptr))
            tile->move(PageBasePosition[i].x(), PageBasePosition[i].y() - PageGap);
    }
}

void Velmora::mouseEntered(const PageTile& tile, QPoint position) {
    runGuarded([&] {
        MouseX = position.x();
        MouseY = position.y();
        const PageList list = page.load();
        if (!list)
            return;
        const auto found = std::find(list->begin(), list->end(), tile.page());
        if (found == list->end())
            return;
        mouseObject = static_cast<qint32>(found - list->begin());
        showToolTip(mouseObject);
    });
}

void Velmora::showToolTip(qint32 index) {
    runGuarded([&] {
        const PageList list = page.load();
        if (!list || index < 0 || static_cast<size_t>(index) >= list->size())
            return;
        const std::shared_ptr<Page>& shown = (*list)[static_cast<size_t>(index)];
        ToolTip->setPageTitle(shown->getPageTitleString());
        ToolTip->setPageURL(shown->getPageURLString());
        ToolTip->setLastModifiedDateLong(shown->getLastModifiedDateLong());
        if (const PageTile* tile = tiles.value(shown.get(), nullptr))
            ToolTip->move(tile->mapToGlobal(QPoint(MouseX + 20, MouseY + 10)));
        ToolTip->show();
        ToolTip->update();
    });
}

void Velmora::clickEvent(const QMouseEvent& event) {
    runGuarded([&] {
        if (PageTile::isInIconArea(event.position().toPoint()))
            openPage();
    });
}

void Velmora::moveEvent(const QMouseEvent& event) {
    runGuarded([&] {
        setCursor(PageTile::isInIconArea(event.position().toPoint()) ? Qt::PointingHandCursor
                                                                     : Qt::ArrowCursor);
    });
}

void Velmora::openPage() {
    const PageList list = page.load();
    if (!list || mouseObject < 0 || static_cast<size_t>(mouseObject) >= list->size())
        return;
    const QString url = (*list)[static_cast<size_t>(mouseObject)]->getPageURLString();
    if (url.isEmpty())
        return;
    launchBrowser(url);
}

void Velmora::openWeb() {
    launchBrowser(homePageAddress);
}

void Velmora::openHelp() {
    launchBrowser(QDir::currentPath() + QStringLiteral("/help.html"));
}

void Velmora::launchBrowser(const QString& target) {
    if (!openInBrowser(BrowserString, target))
        raiseAlert(this, browserAlert);
}

void Velmora::exit() {
    if (exiting)
        return;
    exiting = true;
    saveSetting();
    if (page.load())
        saveGroup();
    // Both files are safe on disk; a request that will not let go must not hold the exit.
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
}

template <typename Work> void Velmora::postToGui(Work&& work) {
    QMetaObject::invokeMethod(this, std::forward<Work>(work), Qt::QueuedConnection);
}

void Velmora::repaintRequested(const Page& changed) {
    postToGui([this, weak = changed.weak_from_this()] {
        if (PageTile* tile = tileFor(weak))
            tile->update();
    });
}

void Velmora::showMainWindowRequested() {
    postToGui([this] { showMainWindow(); });
}

void Velmora::cycleStarted() {
    postToGui([this] { setCursor(Qt::WaitCursor); });
}

void Velmora::pageCheckStarted(const Page& checked) {
    postToGui([this, weak = checked.weak_from_this()] {
        setCursor(Qt::WaitCursor);
        if (PageTile* tile = tileFor(weak))
            tile->setEnabled(false);
    });
}

void Velmora::pageCheckFinished(const Page& checked) {
    postToGui([this, weak = checked.weak_from_this()] {
        if (PageTile* tile = tileFor(weak))
            tile->setEnabled(true);
    });
}

void Velmora::cycleFinished() {
    postToGui([this] { setCursor(Qt::ArrowCursor); });
}

void Velmora::closeEvent(QCloseEvent* event) {
    event->accept();
    Velmora_WindowClosing();
}

void Velmora::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Velmora_ComponentResized();
}

void Velmora::AddPageMenuItem_ActionPerformed() {
    AddPageMenuItem_ActionPerformed_Interaction1();
}

void Velmora::AddPageMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { addPage(); });
}

void Velmora::ChangePageMenuItem_ActionPerformed() {
    ChangePageMenuItem_ActionPerformed_Interaction1();
}

void Velmora::ChangePageMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { changePage(); });
}

void Velmora::ChangeSettingMenuItem_ActionPerformed() {
    ChangeSettingMenuItem_ActionPerformed_Interaction1();
}

void Velmora::ChangeSettingMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { changeSetting(); });
}

void Velmora::ExitMenuItem_ActionPerformed() {
    ExitMenuItem_ActionPerformed_Interaction1();
}

void Velmora::ExitMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { exit(); });
}

void Velmora::HelpMenuItem_ActionPerformed() {
    HelpMenuItem_ActionPerformed_Interaction1();
}

void Velmora::HelpMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { openHelp(); });
}

void Velmora::WebMenuItem_ActionPerformed() {
    WebMenuItem_ActionPerformed_Interaction1();
}

void Velmora::WebMenuItem_ActionPerformed_Interaction1() {
    runGuarded([this] { openWeb(); });
}

void Velmora::VerticalScrollBar_AdjustmentValueChanged() {
    VerticalScrollBar_AdjustmentValueChanged_Interaction1();
}

void Velmora::VerticalScrollBar_AdjustmentValueChanged_Interaction1() {
    runGuarded([this] {
        PageGap = VerticalScrollBar->value();
        reShowPage();
    });
}

void Velmora::Velmora_ComponentResized() {
    Velmora_ComponentResized_Interaction1();
}

void Velmora::Velmora_ComponentResized_Interaction1() {
    runGuarded([this] { setScrollBar(); });
}

void Velmora::Velmora_WindowClosing() {
    exit();
}

void Velmora::addPage() {
    DialogParts::centreOnScreen(*addPageDialog);
    addPageDialog->exec();
    const QString url = addPageDialog->getPageURLString();
    if (url == QStringLiteral("http://"))
        return;
    std::vector<GroupFile::PageRecord> records = recordsOf(page.load());
    records.push_back({addPageDialog->getPageTitleString(), url, 0});
    replacePageList(records);
}

void Velmora::changePage() {
    DialogParts::centreOnScreen(*changePageDialog);
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
    DialogParts::centreOnScreen(*changeSettingDialog);
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
