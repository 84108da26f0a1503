#include "dialogs/CommaField.h"

#include "dialogs/AlertDialog.h"

#include <QLineEdit>
#include <QSignalBlocker>

void checkComma(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    // One comma, one alert, in a loop rather than through the field's own change signal, so
    // a long pasted text cannot nest a change handler per comma.
    while (const std::optional<CommaRemoved> removed = removeFirstComma(field.text())) {
        {
            const QSignalBlocker ownChange(field);
            field.setText(removed->text);
        }
        field.setCursorPosition(static_cast<int>(removed->position));
        raiseAlert(alertOwner, message);
    }
}

void refuseCommas(QLineEdit& field, QWidget* alertOwner, const QString& message) {
    QObject::connect(&field, &QLineEdit::textChanged, &field,
                     [&field, alertOwner, message] { checkComma(field, alertOwner, message); });
}
