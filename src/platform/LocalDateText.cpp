#include "platform/LocalDateText.h"

#include <ctime>
#include <mutex>

namespace {

constexpr const char* weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

QString localDateText(qint64 milliseconds) {
    // localtime_r need not read TZ by itself.
    static std::once_flag zoneRead;
    std::call_once(zoneRead, [] { tzset(); });

    // Round towards the earlier second, so times before 1970 show the second they fall in.
    qint64 seconds = milliseconds / 1000;
    if (milliseconds % 1000 < 0)
        --seconds;
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&time, &local))
        return QString();
    char zone[64] = {};
    std::strftime(zone, sizeof zone, "%Z", &local);
    return QString::asprintf("%s %s %02d %02d:%02d:%02d %s %04d", weekdays[local.tm_wday],
                             months[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec, zone, local.tm_year + 1900);
}
