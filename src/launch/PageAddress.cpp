#include "launch/PageAddress.h"

#include <QUrl>

std::optional<QString> browserAddress(const QString& pageUrl) {
    const QUrl url(pageUrl, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    const QString scheme = url.scheme();
    const bool web = scheme == u"http" || scheme == u"https" || scheme == u"ftp";
    const bool named =
        web ? !url.host().isEmpty() : scheme == u"file" && url.path().startsWith(u'/');
    if (!named)
        return std::nullopt;
    return QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded));
}
