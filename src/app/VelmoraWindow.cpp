// The main window's regions, menus, tiles and scrolling, and the routing of its events.
#include "app/Velmora.h"
#include "platform/Guard.h"
#include "ui/LineComponent.h"
#include "ui/PagePanel.h"
#include "ui/PageToolTip.h"
#include "ui/Palette.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const QString productBanner = QStringLiteral("Velmora");

constexpr int windowWidth = 400;
constexpr int windowHeight = 300;
constexpr int scrollBarWidth = 15;
constexpr int scrollUnit = 10;
constexpr int scrollBlock = 100;

} // namespace

void Velmora::buildWindow() {
    setObjectName(QStringLiteral("Velmora"));
    setWindowTitle(productBanner);

    auto* content = new QWidget(this);
    setBackgroundColour(*content, Palette::lightGray);

    Line = new LineComponent(content);
    Line->setObjectName(QStringLiteral("Line"));

    MainPanel = new PagePanel(content);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));

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
    MainPanel->attachScrollBar(VerticalScrollBar);

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

void Velmora::installPages(const PageList& list) {
    page.store(list);
    MainPanel->setPages(list);
}

void Velmora::removeTiles() {
    // Tiles taken away never see the pointer leave, so their tip goes with them.
    ToolTip->hide();
    MainPanel->setPages(nullptr);
}

// The thumb's value and the tiles' offset are one and the same after every fit, so the first
// scroll after a resize or a rebuild never jumps.
void Velmora::setScrollBar() {
    const PageList list = page.load();
    if (!list || list->empty()) {
        VerticalScrollBar->setEnabled(false);
        return;
    }
    const int bottom = MainPanel->contentBottom();
    const int visible = MainPanel->height();
    const QSignalBlocker programChange(VerticalScrollBar);
    if (visible > bottom) {
        // Everything fits: the tiles stand unscrolled, and so does the thumb.
        VerticalScrollBar->setValue(0);
        VerticalScrollBar->setEnabled(false);
    } else {
        VerticalScrollBar->setRange(0, bottom - visible);
        VerticalScrollBar->setPageStep(visible);
        VerticalScrollBar->setValue(PageGap);
        VerticalScrollBar->setEnabled(true);
    }
    PageGap = VerticalScrollBar->value();
    reShowPage();
}

void Velmora::reShowPage() {
    if (page.load())
        MainPanel->setScrollOffset(PageGap);
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
