// The main window's regions, menus, tiles and scrolling, and the routing of its events.
#include "app/Velmora.h"
#include "platform/Guard.h"
#include "ui/LineComponent.h"
#include "ui/PagePanel.h"
#include "ui/PageToolTip.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const QString productBanner = QStringLiteral("Velmora");

constexpr int windowWidth = 400;
constexpr int windowHeight = 300;

} // namespace

void Velmora::buildWindow() {
    setObjectName(QStringLiteral("Velmora"));
    setWindowTitle(productBanner);

    auto* content = new QWidget(this);
    setBackgroundColour(*content, Palette::lightGray);

    Line = new LineComponent(content);
    Line->setObjectName(QStringLiteral("Line"));

    // The page view with its scroll bar along its right edge.
    MainPanel = new PagePanel(content);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    VerticalScrollBar = MainPanel->verticalScrollBar();
    VerticalScrollBar->setObjectName(QStringLiteral("VerticalScrollBar"));
    connect(VerticalScrollBar, &QScrollBar::valueChanged, this,
            &Velmora::VerticalScrollBar_AdjustmentValueChanged);

    auto* regions = new QVBoxLayout(content);
    regions->setContentsMargins(0, 0, 0, 0);
    regions->setSpacing(0);
    regions->addWidget(Line);
    regions->addWidget(MainPanel, 1);

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

void Velmora::installPages(const PageList& list) {
    page.store(list);
    MainPanel->setPages(list);
}

void Velmora::removeTiles() {
    // Tiles taken away never see the pointer leave, so their tip goes with them.
    ToolTip->hide();
    MainPanel->setPages(nullptr);
}

// Without pages the bar only turns off and keeps its offset, so a rebuilt list shows where the
// old one stood.
void Velmora::setScrollBar() {
    const PageList list = page.load();
    if (!list || list->empty()) {
        VerticalScrollBar->setEnabled(false);
        return;
    }
    MainPanel->fitScrollBar();
}

// Reached from the scroll handler. The view has moved its tiles with its own bar already, so
// the repaint asked here folds into the view's own.
void Velmora::reShowPage() {
    if (page.load())
        MainPanel->viewport()->update();
}

qint32 Velmora::PageGap() const {
    return MainPanel->scrollOffset();
}

void Velmora::closeEvent(QCloseEvent* event) {
    // exit hides the window itself, and keeps it open when a save failed.
    event->ignore();
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
    runGuarded([this] { reShowPage(); });
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
