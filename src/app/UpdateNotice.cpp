#include "app/UpdateNotice.h"

namespace {

// More names would make a notice too tall to read at a glance.
constexpr qsizetype namesShown = 3;

} // namespace

QStringList UpdateNoticeRule::namesFor(const std::vector<RisenPage>& risen) {
    QStringList names;
    QSet<QString> roseNow;
    for (const RisenPage& page : risen) {
        roseNow.insert(page.url);
        if (!roseLastCycle.contains(page.url))
            // A page without a title is still told apart by its address.
            names << (page.title.isEmpty() ? page.url : page.title);
    }
    roseLastCycle = std::move(roseNow);
    return names;
}

namespace UpdateNotice {

QString body(const QStringList& names) {
    QStringList lines = names.first(std::min(names.size(), namesShown));
    if (names.size() > namesShown)
        lines << QStringLiteral("ほか %1 件").arg(names.size() - namesShown);
    return lines.join(u'\n');
}

} // namespace UpdateNotice
