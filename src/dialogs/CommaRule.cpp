#include "dialogs/CommaRule.h"

#include "dialogs/AlertDialog.h"

#include <QLineEdit>
#include <QSignalBlocker>

void checkComma(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    // One comma, one alert, in a loop rather than through the field's own change signal, so
    // a long pasted text cannot nest a change handler per comma.
    for (;;) {
        const QString text = field.text();
        const qsizetype comma = text.indexOf(u',');
        if (comma < 0)
            return;
        {
            const QSignalBlocker ownChange(field);
            field.setText(text.left(comma) + text.mid(comma + 1));
        }
        field.setCursorPosition(static_cast<int>(comma));
        raiseAlert(alertOwner, message);
    }
}

void refuseCommas(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    QObject::connect(&field, &QLineEdit::textChanged, &field,
                     [&field, alertOwner, message] { checkComma(field, alertOwner, message); });
}
