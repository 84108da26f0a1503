#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

// Shows the page panel to assistive tools as a list whose items are its tiles: each tile's
// name is its page's title, its description the URL and the page's state, and pressing it
// opens the page as a click on its icon does.
QAccessibleInterface* accessibleForPagePanel(const QString& className, QObject* object);
