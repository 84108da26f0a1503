#pragma once

#include <QStringView>
#include <optional>

// Strict decimal conversion used for every number read from a file or typed by the user:
// an optional leading "-" and ASCII digits only, range checked. Anything else has no value.
std::optional<qint32> parseInt32(QStringView text);
std::optional<qint64> parseInt64(QStringView text);
