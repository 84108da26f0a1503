#include "storage/GroupFile.h"

#include "platform/DecimalNumber.h"
#include "storage/Tokenizer.h"

namespace GroupFile {

QString format(const std::vector<PageRecord>& pages) {
    QString text = QString::number(pages.size()) + u',';
    for (const PageRecord& page : pages) {
        text += page.title + u',';
        text += page.url + u',';
        text += QString::number(page.lastModified) + u',';
    }
    return text;
}

std::optional<std::vector<PageRecord>> parse(const QString& text, bool* extraText) {
    Tokenizer tokenizer(text);
    const std::optional<qint32> count = parseInt32(tokenizer.nextToken());
    if (!count || *count < 0)
        return std::nullopt;

    // Records are appended one by one: a huge count in a short file fails at the first
    // missing time instead of reserving memory for it.
    std::vector<PageRecord> pages;
    for (qint32 i = 0; i < *count; ++i) {
        PageRecord page;
        page.title = tokenizer.nextToken();
        page.url = tokenizer.nextToken();
        const std::optional<qint64> time = parseInt64(tokenizer.nextToken());
        if (!time)
            return std::nullopt;
        page.lastModified = *time;
        pages.push_back(std::move(page));
    }
    if (extraText)
        *extraText = tokenizer.hasRest();
    return pages;
}

} // namespace GroupFile
