#pragma once

#include <QString>

class QLineEdit;
class QWidget;

// A comma would break the comma-separated data files, so a field refuses it: the first comma
// of a change is removed at once and the alert with the field's message is raised, and so on
// for every further comma, so a pasted text loses them all, one alert each.
void checkComma(QLineEdit& field, QWidget* alertOwner, const QString& message);

void refuseCommas(QLineEdit& field, QWidget* alertOwner, const QString& message);

namespace CommaMessages {
inline const QString url = QStringLiteral("カンマ「,」は使用しないでください。");
inline const QString title = QStringLiteral("カンマ「,」は使用しないでください。 ");
} // namespace CommaMessages
