#pragma once

#include <QtGlobal>
#include <chrono>
#include <optional>
#include <string_view>

// Reads a date in any of the three forms HTTP allows (IMF-fixdate, the obsolete RFC 850 form
// and asctime's) as milliseconds since 1970-01-01 00:00:00 UTC. Names are matched regardless of
// case, a one-digit day and "UTC" for "GMT" are taken too; anything else is no date. A two-digit
// year is read as HTTP asks: in the century that puts the date at most 50 years after now, the
// most recent such year. Four-digit years keep every result well inside the 64-bit range.
std::optional<qint64> parseHttpDate(std::string_view text,
                                    std::chrono::system_clock::time_point now);
