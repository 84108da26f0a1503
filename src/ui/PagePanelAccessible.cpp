#include "ui/PagePanelAccessible.h"

#include "platform/LocalDateText.h"
#include "ui/PagePanel.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QScrollBar>

namespace {

const QString listName = QStringLiteral("Pages");

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

QAccessibleInterface* tileListOf(PagePanel* panel) {
    QAccessibleInterface* area = QAccessible::queryAccessibleInterface(panel);
    return area ? area->child(0) : nullptr;
}

// One tile, by its place in the panel: after a rebuild the same place shows the new page.
class TileAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TileAccessible(PagePanel* panel, qsizetype tile) : panel(panel), tile(tile) {}

    bool isValid() const override { return panel && tile < panel->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return panel ? panel->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return panel ? tileListOf(panel) : nullptr; }
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
        // What the tool tip shows besides the title, and what the icon shows.
        if (kind == QAccessible::Description)
            return page->getPageURLString() + QStringLiteral(", ") + stateText(page->getStatus()) +
                   QStringLiteral(", ") + localDateText(page->getLastModifiedDateLong());
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

// The tiles as one list, the part of the panel inside its scroll bar.
class TileListAccessible final : public QAccessibleInterface {
public:
    explicit TileListAccessible(PagePanel* panel) : panel(panel) {}
    ~TileListAccessible() override {
        for (const QAccessible::Id id : std::as_const(tiles))
            QAccessible::deleteAccessibleInterface(id);
    }

    bool isValid() const override { return panel; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return panel ? panel->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return panel ? QAccessible::queryAccessibleInterface(panel) : nullptr;
    }
    int childCount() const override { return panel ? static_cast<int>(panel->count()) : 0; }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Made when first asked for and kept, so a tool always gets the same object back.
        if (const auto found = tiles.constFind(index); found != tiles.cend())
            return QAccessible::accessibleInterface(*found);
        auto* tile = new TileAccessible(panel, index);
        tiles.insert(index, QAccessible::registerAccessibleInterface(tile));
        return tile;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* tile = dynamic_cast<const TileAccessible*>(child);
        return tile && tile->owner() == panel ? static_cast<int>(tile->index()) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        if (!panel)
            return nullptr;
        const QPoint inViewport = panel->viewport()->mapFromGlobal(QPoint(x, y));
        if (!panel->viewport()->rect().contains(inViewport))
            return nullptr;
        return child(static_cast<int>(panel->tileAt(inViewport)));
    }
    QAccessibleInterface* focusChild() const override {
        return panel && panel->hasFocus() ? child(static_cast<int>(panel->focusedTile())) : nullptr;
    }

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? listName : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!panel)
            return {};
        const QWidget* view = panel->viewport();
        return {view->mapToGlobal(QPoint()), view->size()};
    }
    QAccessible::Role role() const override { return QAccessible::List; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invalid = !panel;
        state.invisible = panel && !panel->isVisible();
        return state;
    }

private:
    QPointer<PagePanel> panel;
    mutable QHash<int, QAccessible::Id> tiles;
};

// The panel holds two parts: the list of tiles, and the scroll bar beside it.
class PanelAccessible final : public QAccessibleWidget {
public:
    explicit PanelAccessible(PagePanel* panel) : QAccessibleWidget(panel, QAccessible::Pane) {}
    ~PanelAccessible() override {
        if (list)
            QAccessible::deleteAccessibleInterface(list);
    }

    int childCount() const override { return 2; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            // Made when first asked for and kept, as the tiles are.
            if (!list)
                list = QAccessible::registerAccessibleInterface(new TileListAccessible(panel()));
            return QAccessible::accessibleInterface(list);
        }
        return index == 1 ? QAccessible::queryAccessibleInterface(panel()->verticalScrollBar())
                          : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* part) const override {
        for (int index = 0; index < childCount(); ++index)
            if (child(index) == part)
                return index;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int index = 0; index < childCount(); ++index)
            if (QAccessibleInterface* part = child(index); part->rect().contains(x, y))
                return part;
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        QAccessibleInterface* tile = child(0)->focusChild();
        return tile ? tile : QAccessibleWidget::focusChild();
    }

private:
    PagePanel* panel() const { return static_cast<PagePanel*>(widget()); }

    mutable QAccessible::Id list = 0;
};

// The panel's scroll bar, with its value; the widget between it and the panel stays out of
// the tree, so the bar names the panel as its parent.
class PanelScrollBarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    PanelScrollBarAccessible(QScrollBar* bar, PagePanel* panel)
        : QAccessibleWidget(bar, QAccessible::ScrollBar), panel(panel) {}

    QAccessibleInterface* parent() const override {
        return panel ? QAccessible::queryAccessibleInterface(panel) : nullptr;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? QString::number(bar()->value())
                                          : QAccessibleWidget::text(kind);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant& value) override { bar()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

private:
    QScrollBar* bar() const { return static_cast<QScrollBar*>(widget()); }

    QPointer<PagePanel> panel;
};

// The scroll bar of a page panel: its parent is the area's container widget.
PagePanel* panelOfScrollBar(QObject* bar) {
    QObject* container = bar->parent();
    auto* panel = container ? qobject_cast<PagePanel*>(container->parent()) : nullptr;
    return panel && panel->verticalScrollBar() == bar ? panel : nullptr;
}

} // namespace

QAccessibleInterface* accessibleForPagePanel(const QString& className, QObject* object) {
    if (className == QLatin1String(PagePanel::staticMetaObject.className()))
        if (auto* panel = qobject_cast<PagePanel*>(object))
            return new PanelAccessible(panel);
    if (className == QLatin1String(QScrollBar::staticMetaObject.className()))
        if (PagePanel* panel = panelOfScrollBar(object))
            return new PanelScrollBarAccessible(static_cast<QScrollBar*>(object), panel);
    return nullptr;
}

void tellAssistiveTools(PagePanel& panel, QAccessible::Event type, qsizetype tile) {
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* list = tileListOf(&panel);
    QAccessibleInterface* told = tile >= 0 && list ? list->child(static_cast<int>(tile)) : list;
    if (!told)
        return;
    QAccessibleEvent event(told, type);
    QAccessible::updateAccessibility(&event);
}
