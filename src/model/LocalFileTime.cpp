#include "model/LocalFileTime.h"

#include <QByteArray>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace {

struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

} // namespace

qint64 localFileTime(CURLU* url) {
    char* rawPath = nullptr;
    if (curl_url_get(url, CURLUPART_PATH, &rawPath, 0) != CURLUE_OK)
        return -1;
    const QByteArray path =
        QByteArray::fromPercentEncoding(std::unique_ptr<char, TextDeleter>(rawPath).get());
    // An encoded NUL would end the name early, and another file would be looked at.
    if (path.contains('\0'))
        return -1;
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return -2;
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 1000;
    if (!S_ISREG(status.st_mode) || status.st_mtime > limit || status.st_mtime < -limit)
        return -1;
    // 1970-01-01 00:00:00 UTC reads as "no time", as for every other page.
    return status.st_mtime == 0 ? -1 : qint64(status.st_mtime) * 1000;
}
