#include "storage/HelpFile.h"

#include "platform/TextFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Every line, whatever its line end (CR, LF or CR LF), ends in one line feed.
QString withLineFeeds(const QString& text) {
    QString result;
    result.reserve(text.size() + 1);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        result += QStringView(text).mid(lineStart, i - lineStart);
        result += u'\n';
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        lineStart = i + 1;
    }
    if (lineStart < text.size()) {
        result += QStringView(text).mid(lineStart);
        result += u'\n';
    }
    return result;
}

} // namespace

bool installHelpFile(const QString& sourcePath, const QString& targetPath) {
    if (QFileInfo::exists(targetPath) || QFileInfo(targetPath).isSymLink())
        return false;
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(source.readAll());
    return writeWholeFile(targetPath, withLineFeeds(text));
}
