#pragma once

#include "app/ChangedPages.h"
#include "app/CheckScheduler.h"
#include "app/CheckingThread.h"
#include "model/PageChecker.h"
#include "model/PageList.h"
#include "platform/DesktopNotifier.h"
#include "storage/DataFiles.h"

#include <QMainWindow>
#include <QPoint>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class AddPageDialog;
class ChangePageDialog;
class ChangeSettingDialog;
class LineComponent;
class PagePanel;
class PageToolTip;
class VelmoraStartWindow;
class QAction;
class QMenu;
class QScrollBar;

// What the controller takes from the outside world; tests replace the network and the end
// of the process.
struct VelmoraServices {
    std::function<std::unique_ptr<PageChecker>()> makeChecker;
    CheckScheduler::TickWait tickWait;
    std::function<void()> quit;
    std::chrono::milliseconds startWindowTime{4000};
    // None: no desktop notices.
    DesktopNotifier::BusConnector notificationBus;

    static VelmoraServices real();
};

// The controller and main window in one: owns the page list, the settings, the checking
// thread and every window of the program; the files and the thread's life have classes of
// their own, and it makes the alerts from their results. Its constructor builds the window and
// shows the start window; the start goes on when that window's show ends.
class Velmora final : public QMainWindow, private PageObserver, private CheckCycleObserver {
    Q_OBJECT

public:
    static constexpr qint32 VERSION = 1;

    explicit Velmora(VelmoraServices services = VelmoraServices::real());

    void startVelmora();
    void showToolTip(qint32 index);
    void setScrollBar();
    bool saveSetting();
    bool saveGroup();
    void readSetting();
    void readGroup();
    void reShowPage();
    void openWeb();
    void openPage();
    void openHelp();
    // Positions are in the tile's own coordinates.
    void moveEvent(QPoint position);
    void exit();
    void clickEvent(QPoint position);
    void changeSetting();
    void changePage();
    void addPage();

    PageList pageList() const { return page.load(); }
    qint32 updateSeconds() const { return limit; }
    QString browserCommand() const { return BrowserString; }
    // The tiles' scroll offset: the page view's scroll bar holds it and nothing keeps a copy.
    qint32 PageGap() const;

protected:
    // The pointer-move operation above shares its name with the window's own move handler.
    using QMainWindow::moveEvent;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The start after the start window: the checking thread, the dialogs and the page list.
    void finishStartUp();
    void listenToPanel();
    void buildWindow();
    void buildMenus();
    QAction* addMenuItem(QMenu* menu, const char* objectName, const QString& label,
                         const QKeySequence& shortcut, void (Velmora::*handler)());

    std::vector<GroupFile::PageRecord> pageRecords() const;
    PageList makePages(const std::vector<GroupFile::PageRecord>& records);
    void showPages(const PageList& list);
    void installPages(const PageList& list);
    void replacePageList(const std::vector<GroupFile::PageRecord>& records);
    void removeTiles();
    bool saveFile(const std::function<DataFiles::SaveResult()>& save);
    void reportKeptFiles();
    void showMainWindow();
    void bringForward();
    void mouseEntered(const std::shared_ptr<Page>& entered, QPoint position);
    // The page's place in the current list, -1 when the list does not hold it.
    qsizetype indexOf(const Page& shown) const;
    void openPageAt(qsizetype index);
    void launchBrowser(const QString& target);

    void AddPageMenuItem_ActionPerformed();
    void AddPageMenuItem_ActionPerformed_Interaction1();
    void ChangePageMenuItem_ActionPerformed();
    void ChangePageMenuItem_ActionPerformed_Interaction1();
    void ChangeSettingMenuItem_ActionPerformed();
    void ChangeSettingMenuItem_ActionPerformed_Interaction1();
    void ExitMenuItem_ActionPerformed();
    void ExitMenuItem_ActionPerformed_Interaction1();
    void HelpMenuItem_ActionPerformed();
    void HelpMenuItem_ActionPerformed_Interaction1();
    void WebMenuItem_ActionPerformed();
    void WebMenuItem_ActionPerformed_Interaction1();
    void VerticalScrollBar_AdjustmentValueChanged();
    void VerticalScrollBar_AdjustmentValueChanged_Interaction1();
    void Velmora_ComponentResized();
    void Velmora_ComponentResized_Interaction1();
    void Velmora_WindowClosing();

    // Called on the checking thread; each marks its news in changedPages for the GUI thread.
    void repaintRequested(const Page& page) override;
    void showMainWindowRequested() override;
    void renewed(const Page& page) override;
    void cycleStarted() override;
    void cycleFinished() override;
    void askForCollection();
    // The GUI thread's side: everything the checking thread marked since the last time.
    Q_INVOKABLE void collectChangedPages();
    void announceUpdates(const std::vector<std::vector<RisenPage>>& cycles, bool userIsHere);

    const VelmoraServices services;

    std::atomic<qint32> limit{2};
    qint32 mouseObject = -1;
    qint32 MouseX = 0;
    qint32 MouseY = 0;
    QString BrowserString;
    PageListSlot page;
    DataFiles files;

    ChangedPages changedPages;
    UpdateNoticeRule noticeRule;
    // Reaches for the bus only when there is news to tell.
    DesktopNotifier notifier{services.notificationBus, [this] { bringForward(); }};
    // After everything the checking thread reaches, so that it is stopped before any of it goes.
    CheckingThread checking{services.makeChecker(), page, limit, *this, services.tickWait};

    PageToolTip* ToolTip = nullptr;
    VelmoraStartWindow* StartWindow = nullptr;
    AddPageDialog* addPageDialog = nullptr;
    ChangePageDialog* changePageDialog = nullptr;
    ChangeSettingDialog* changeSettingDialog = nullptr;

    LineComponent* Line = nullptr;
    PagePanel* MainPanel = nullptr;
    QScrollBar* VerticalScrollBar = nullptr;
    QMenu* FileMenu = nullptr;
    QAction* AddPageMenuItem = nullptr;
    QAction* ChangePageMenuItem = nullptr;
    QAction* ChangeSettingMenuItem = nullptr;
    QAction* ExitMenuItem = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* HelpMenuItem = nullptr;
    QAction* WebMenuItem = nullptr;
};
