#pragma once

#include <QDateTime>

// Milliseconds since 1970 of a UTC date and time, as the access check reports them.
inline qint64 utc(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC)
        .toMSecsSinceEpoch();
}
