#include "dialogs/CommaRule.h"

std::optional<CommaRemoved> removeFirstComma(const QString& text) {
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    return CommaRemoved{text.left(comma) + text.mid(comma + 1), comma};
}
