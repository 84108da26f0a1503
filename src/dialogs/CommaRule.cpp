#include "dialogs/CommaRule.h"

#include "dialogs/AlertDialog.h"

#include <QLineEdit>

void checkComma(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    const QString text = field.text();
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return;
    field.setText(text.left(comma) + text.mid(comma + 1));
    field.setCursorPosition(static_cast<int>(comma));
    raiseAlert(alertOwner, message);
}

void refuseCommas(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    QObject::connect(&field, &QLineEdit::textChanged, &field,
                     [&field, alertOwner, message] { checkComma(field, alertOwner, message); });
}
