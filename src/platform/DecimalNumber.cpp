#include "platform/DecimalNumber.h"

#include <limits>

namespace {

template <typename Int> std::optional<Int> parseStrict(QStringView text) {
    const bool negative = text.startsWith(u'-');
    const QStringView digits = negative ? text.mid(1) : text;
    if (digits.isEmpty())
        return std::nullopt;
    // Accumulate towards the negative side, which holds one more value than the positive one.
    Int value = 0;
    constexpr Int lowest = std::numeric_limits<Int>::min();
    for (const QChar ch : digits) {
        const char16_t c = ch.unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const Int digit = static_cast<Int>(c - u'0');
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = static_cast<Int>(value * 10 - digit);
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return static_cast<Int>(-value);
}

} // namespace

std::optional<qint32> parseInt32(QStringView text) {
    return parseStrict<qint32>(text);
}

std::optional<qint64> parseInt64(QStringView text) {
    return parseStrict<qint64>(text);
}
