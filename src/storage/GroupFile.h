#pragma once

#include <QString>
#include <optional>
#include <vector>

// The page list file: the page count, then title, URL and last-modified time of each page,
// every field followed by ",".
namespace GroupFile {

inline constexpr char fileName[] = "Group.dat";

struct PageRecord {
    QString title;
    QString url;
    qint64 lastModified = 0;

    friend bool operator==(const PageRecord&, const PageRecord&) = default;
};

QString format(const std::vector<PageRecord>& pages);

// No value when the text breaks the format (a count or time that is not a decimal number, a
// negative count, fewer records than the count says): the caller then keeps what it has. Text
// after the counted records is not read; extraText, when given, tells whether there was any.
std::optional<std::vector<PageRecord>> parse(const QString& text, bool* extraText = nullptr);

} // namespace GroupFile
