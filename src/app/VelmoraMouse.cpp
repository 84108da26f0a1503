// The tiles under the mouse: tool tip, hand cursor, and opening pages in the browser.
#include "app/Velmora.h"
#include "dialogs/AlertDialog.h"
#include "launch/BrowserCommand.h"
#include "launch/PageAddress.h"
#include "platform/Guard.h"
#include "ui/PagePanel.h"
#include "ui/PageTile.h"
#include "ui/PageToolTip.h"

#include <QDir>
#include <QMouseEvent>

namespace {

const QString homePageAddress = QStringLiteral("https://velmora.example/");
const QString browserAlert = QStringLiteral("ブラウザーの設定が間違っています。");
const QString addressAlert = QStringLiteral("ページのアドレスが間違っています。");

} // namespace

// Shared by all tiles: the pointer entering and leaving a tile, and clicks on it.
class Velmora::MouseAction final : public QObject, public TileMouseListener {
public:
    explicit MouseAction(Velmora& owner) : QObject(&owner), owner(owner) {}

    void mouseEntered(qsizetype tile, QPoint position) override {
        owner.mouseEntered(tile, position);
    }
    void mouseExited(qsizetype) override { owner.ToolTip->hide(); }
    void mouseClicked(qsizetype, const QMouseEvent& event) override { owner.clickEvent(event); }

private:
    Velmora& owner;
};

// Shared by all tiles: the pointer moving over a tile.
class Velmora::MouseMoveAction final : public QObject, public TileMouseMoveListener {
public:
    explicit MouseMoveAction(Velmora& owner) : QObject(&owner), owner(owner) {}

    void mouseMoved(qsizetype, const QMouseEvent& event) override { owner.moveEvent(event); }

private:
    Velmora& owner;
};

void Velmora::mouseEntered(qsizetype tile, QPoint position) {
    runGuarded([&] {
        MouseX = position.x();
        MouseY = position.y();
        const PageList list = page.load();
        const std::shared_ptr<Page> entered = MainPanel->pageAt(tile);
        if (!list || !entered)
            return;
        const auto found = std::find(list->begin(), list->end(), entered);
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
        const qsizetype tile = MainPanel->tileOf(shown.get());
        if (tile >= 0)
            ToolTip->move(MainPanel->mapToGlobal(MainPanel->tileRect(tile).topLeft() +
                                                 QPoint(MouseX + 20, MouseY + 10)));
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
    openPageAt(mouseObject);
}

void Velmora::openPageAt(qsizetype index) {
    const PageList list = page.load();
    if (!list || index < 0 || static_cast<size_t>(index) >= list->size())
        return;
    const QString url = (*list)[static_cast<size_t>(index)]->getPageURLString();
    if (url.isEmpty())
        return;
    // Whatever the list holds, the browser only ever gets a well-formed address.
    const std::optional<QString> address = browserAddress(url);
    if (!address) {
        raiseAlert(this, addressAlert);
        return;
    }
    launchBrowser(*address);
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

void Velmora::listenToPanel() {
    MainPanel->setMouseListener(mouseAction);
    MainPanel->setMouseMoveListener(mouseMoveAction);
    MainPanel->followToolTip(ToolTip);
    // The keyboard opens the page of the tile it is on, as a click on that tile's icon would.
    connect(MainPanel, &PagePanel::tileActivated, this, [this](qsizetype tile) {
        runGuarded([&] {
            const PageList list = page.load();
            const std::shared_ptr<Page> chosen = MainPanel->pageAt(tile);
            if (!list || !chosen)
                return;
            const auto found = std::find(list->begin(), list->end(), chosen);
            if (found != list->end())
                openPageAt(found - list->begin());
        });
    });
}
