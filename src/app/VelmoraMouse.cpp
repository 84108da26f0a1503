// The tiles under the mouse: tool tip, hand cursor, and opening pages in the browser.
#include "app/Velmora.h"
#include "dialogs/AlertDialog.h"
#include "launch/BrowserCommand.h"
#include "platform/Guard.h"
#include "ui/PageTile.h"
#include "ui/PageToolTip.h"

#include <QDir>
#include <QEnterEvent>
#include <QMouseEvent>

namespace {

const QString homePageAddress = QStringLiteral("https://velmora.example/");
const QString browserAlert = QStringLiteral("ブラウザーの設定が間違っています。");

} // namespace

namespace {

// A tile whose check is running takes no clicks and shows no hand, as a disabled widget would.
bool isDisabledTile(const QObject* watched) {
    const auto* tile = qobject_cast<const QWidget*>(watched);
    return tile && !tile->isEnabled();
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
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
                !isDisabledTile(watched))
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
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove && !isDisabledTile(watched))
            owner.moveEvent(*static_cast<QMouseEvent*>(event));
        return false;
    }

private:
    Velmora& owner;
};

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
    // Text starting with "-" is no address, and a browser would take it for an option.
    if (url.isEmpty() || url.startsWith(u'-'))
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

void Velmora::createMouseListeners() {
    mouseAction = new MouseAction(*this);
    mouseMoveAction = new MouseMoveAction(*this);
}

void Velmora::listenToMouse(PageTile& tile) {
    tile.installEventFilter(mouseAction);
    tile.installEventFilter(mouseMoveAction);
}
