#pragma once

#include <QString>

// A time in ms since the epoch as an English date in the local zone, whatever the locale:
// "Thu Jan 01 09:00:00 JST 1970" for time 0 in Tokyo.
QString localDateText(qint64 millisecondsSinceEpoch);
