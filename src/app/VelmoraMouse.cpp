// The tiles under the mouse: tool tip, hand cursor, and opening pages in the browser.
#include "app/Velmora.h"
#include "dialogs/AlertDialog.h"
#include "launch/BrowserCommand.h"
#include "launch/PageAddress.h"
#include "platform/Guard.h"
#include "ui/PagePanel.h"
#include "ui/PageToolTip.h"
#include "ui/TileFlow.h"

#include <QDir>

namespace {

const QString homePageAddress = QStringLiteral("https://velmora.example/");
const QString browserAlert = QStringLiteral("ブラウザーの設定が間違っています。");
const QString addressAlert = QStringLiteral("ページのアドレスが間違っています。");

} // namespace

void Velmora::listenToPanel() {
    connect(MainPanel, &PagePanel::tileEntered, this, &Velmora::mouseEntered);
    connect(MainPanel, &PagePanel::tileLeft, ToolTip, &QWidget::hide);
    connect(MainPanel, &PagePanel::tileMovedOver, this,
            [this](const std::shared_ptr<Page>&, QPoint position) { moveEvent(position); });
    connect(MainPanel, &PagePanel::tileClicked, this,
            [this](const std::shared_ptr<Page>&, QPoint position) { clickEvent(position); });
    // The keyboard opens the page of the tile it is on, as a click on that tile's icon would.
    connect(MainPanel, &PagePanel::tileActivated, this,
            [this](const std::shared_ptr<Page>& chosen) {
                runGuarded([&] { openPageAt(indexOf(*chosen)); });
            });
    MainPanel->followToolTip(ToolTip);
}

qsizetype Velmora::indexOf(const Page& shown) const {
    const PageList list = page.load();
    if (!list)
        return -1;
    const auto found =
        std::find_if(list->begin(), list->end(),
                     [&](const std::shared_ptr<Page>& each) { return each.get() == &shown; });
    return found == list->end() ? -1 : found - list->begin();
}

void Velmora::mouseEntered(const std::shared_ptr<Page>& entered, QPoint position) {
    runGuarded([&] {
        MouseX = position.x();
        MouseY = position.y();
        const qsizetype index = indexOf(*entered);
        if (index < 0)
            return;
        mouseObject = static_cast<qint32>(index);
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
        const QRect tile = MainPanel->tileOnScreen(MainPanel->tileOf(shown.get()));
        if (!tile.isNull())
            ToolTip->move(tile.topLeft() + QPoint(MouseX + 20, MouseY + 10));
        ToolTip->show();
        ToolTip->update();
    });
}

void Velmora::clickEvent(QPoint position) {
    runGuarded([&] {
        if (TileFlow::isInIconArea(position))
            openPage();
    });
}

void Velmora::moveEvent(QPoint position) {
    runGuarded([&] {
        setCursor(TileFlow::isInIconArea(position) ? Qt::PointingHandCursor : Qt::ArrowCursor);
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
