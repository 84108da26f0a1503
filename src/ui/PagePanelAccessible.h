#pragma once

#include <QAccessible>
#include <QString>

class PagePanel;
class QAccessibleInterface;
class QObject;

// Shows the page panel to assistive tools as a list of its tiles beside its scroll bar: each
// tile's name is its page's title, its description the URL, the page's state and its recorded
// time as the tool tip shows it, and pressing it opens the page as a click on its icon does.
QAccessibleInterface* accessibleForPagePanel(const QString& className, QObject* object);

// Tells assistive tools that the list of tiles, or one tile, changed.
void tellAssistiveTools(PagePanel& panel, QAccessible::Event type, qsizetype tile = -1);
