#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

// A page whose time rose in a check cycle, as a notice names it. The URL is what identifies
// the page from cycle to cycle: every edit of the list rebuilds all pages, and the title may
// have been edited meanwhile.
struct RisenPage {
    QString url;
    QString title;
};

// Which updated pages the desktop notice names. A page is named when its time rises, except
// right after a cycle in which it rose as well: a server that stamps every answer with the
// current time makes its page rise in every cycle, and such a page is named once, then left
// out until a cycle passes in which it does not rise.
class UpdateNoticeRule {
public:
    // The names for one finished cycle's rises, in list order; none when nothing is news.
    QStringList namesFor(const std::vector<RisenPage>& risen);

private:
    QSet<QString> roseLastCycle;
};

namespace UpdateNotice {

inline const QString summary = QStringLiteral("ページが更新されました");

// The first few names, one a line, and how many more there are.
QString body(const QStringList& names);

} // namespace UpdateNotice
