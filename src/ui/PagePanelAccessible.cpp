#include "ui/PagePanelAccessible.h"

#include "ui/PagePanel.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace {

QString stateText(qint32 status) {
    switch (status) {
    case Page::isRenew:
        return QStringLiteral("updated");
    case Page::isNotFound:
        return QStringLiteral("not found");
    default:
        return QStringLiteral("unchanged");
    }
}

// One tile, by its place in the panel: after a rebuild the same place shows the new page.
class TileAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TileAccessible(PagePanel* panel, qsizetype tile) : panel(panel), tile(tile) {}

    bool isValid() const override { return panel && tile < panel->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return panel ? panel->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return panel ? QAccessible::queryAccessibleInterface(panel) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override {
        const std::shared_ptr<Page> page = isValid() ? panel->pageAt(tile) : nullptr;
        if (!page)
            return {};
        if (kind == QAccessible::Name)
            return page->getPageTitleString();
        if (kind == QAccessible::Description)
            return page->getPageURLString() + QStringLiteral(", ") + stateText(page->getStatus());
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override { return isValid() ? panel->tileOnScreen(tile) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.focusable = true;
        state.focused = panel->hasFocus() && panel->focusedTile() == tile;
        state.offscreen = !panel->tileRect(tile).intersects(panel->viewport()->rect());
        const std::shared_ptr<Page> page = panel->pageAt(tile);
        state.disabled = page && page->isCheckRunning();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid())
            panel->activateTile(tile);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    qsizetype index() const { return tile; }
    const PagePanel* owner() const { return panel; }

private:
    QPointer<PagePanel> panel;
    const qsizetype tile;
};

class PanelAccessible final : public QAccessibleWidget {
public:
    explicit PanelAccessible(PagePanel* panel) : QAccessibleWidget(panel, QAccessible::List) {}
    ~PanelAccessible() override {
        for (const QAccessible::Id id : std::as_const(children))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(panel()->count()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Made when first asked for and kept, so a tool always gets the same object back.
        if (const auto found = children.constFind(index); found != children.cend())
            return QAccessible::accessibleInterface(*found);
        auto* tile = new TileAccessible(panel(), index);
        children.insert(index, QAccessible::registerAccessibleInterface(tile));
        return tile;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* tile = dynamic_cast<const TileAccessible*>(child);
        return tile && tile->owner() == panel() ? static_cast<int>(tile->index()) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint inViewport = panel()->viewport()->mapFromGlobal(QPoint(x, y));
        return child(static_cast<int>(panel()->tileAt(inViewport)));
    }
    QAccessibleInterface* focusChild() const override {
        return panel()->hasFocus() ? child(static_cast<int>(panel()->focusedTile())) : nullptr;
    }

private:
    PagePanel* panel() const { return static_cast<PagePanel*>(widget()); }

    mutable QHash<int, QAccessible::Id> children;
};

} // namespace

QAccessibleInterface* accessibleForPagePanel(const QString& className, QObject* object) {
    if (className == QLatin1String(PagePanel::staticMetaObject.className()))
        if (auto* panel = qobject_cast<PagePanel*>(object))
            return new PanelAccessible(panel);
    return nullptr;
}
