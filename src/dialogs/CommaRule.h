#pragma once

#include <QString>
#include <optional>

// The data files separate their fields with commas and cannot hold one inside a field, so the
// fields of the dialogs refuse them: each comma typed or pasted is taken out, one at a time,
// each with an alert that names the field's kind.
namespace CommaMessages {
inline const QString url = QStringLiteral("カンマ「,」は使用しないでください。");
inline const QString title = QStringLiteral("カンマ「,」は使用しないでください。 ");
} // namespace CommaMessages

struct CommaRemoved {
    QString text;       // the part before the comma followed by the part after it
    qsizetype position; // where the comma stood, where the cursor goes
};

// The text without its first comma; nothing when it holds none.
std::optional<CommaRemoved> removeFirstComma(const QString& text);
