#include "platform/HttpDate.h"

#include <array>
#include <tuple>

namespace {

using namespace std::string_view_literals;

constexpr std::array shortDayNames{"Mon"sv, "Tue"sv, "Wed"sv, "Thu"sv, "Fri"sv, "Sat"sv, "Sun"sv};
constexpr std::array longDayNames{"Monday"sv, "Tuesday"sv,  "Wednesday"sv, "Thursday"sv,
                                  "Friday"sv, "Saturday"sv, "Sunday"sv};
constexpr std::array monthNames{"Jan"sv, "Feb"sv, "Mar"sv, "Apr"sv, "May"sv, "Jun"sv,
                                "Jul"sv, "Aug"sv, "Sep"sv, "Oct"sv, "Nov"sv, "Dec"sv};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Reads the text from left to right; every step either consumes what it expects or fails.
class Cursor {
public:
    explicit Cursor(std::string_view text) : rest(text) {}

    bool literal(std::string_view expected) {
        if (rest.size() < expected.size())
            return false;
        for (size_t i = 0; i < expected.size(); ++i)
            if (lower(rest[i]) != lower(expected[i]))
                return false;
        rest.remove_prefix(expected.size());
        return true;
    }

    // Between minCount and maxCount digits, as many as there are; never more than four, so
    // the value cannot overflow.
    bool number(int minCount, int maxCount, int& value) {
        value = 0;
        int count = 0;
        while (count < maxCount && count < int(rest.size()) && rest[count] >= '0' &&
               rest[count] <= '9')
            value = value * 10 + (rest[count++] - '0');
        if (count < minCount ||
            (count < int(rest.size()) && rest[count] >= '0' && rest[count] <= '9'))
            return false;
        rest.remove_prefix(count);
        return true;
    }

    template <size_t N> bool name(const std::array<std::string_view, N>& names, int& index) {
        // A longer name must not be taken for its shorter prefix, nor the other way round.
        for (size_t i = 0; i < N; ++i) {
            Cursor probe = *this;
            if (probe.literal(names[i]) && (probe.rest.empty() || !isLetter(probe.rest[0]))) {
                *this = probe;
                index = int(i);
                return true;
            }
        }
        return false;
    }

    bool atEnd() const { return rest.empty(); }

private:
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    std::string_view rest;
};

struct Fields {
    int year = 0;
    int month = 0; // 0 for January
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool timeOfDay(Cursor& in, Fields& f) {
    return in.number(2, 2, f.hour) && in.literal(":") && in.number(2, 2, f.minute) &&
           in.literal(":") && in.number(2, 2, f.second);
}

bool zone(Cursor& in) {
    return in.literal("GMT") || in.literal("UTC");
}

// Sun, 06 Nov 1994 08:49:37 GMT
bool imfFixdate(Cursor in, Fields& f) {
    int weekday = 0;
    return in.name(shortDayNames, weekday) && in.literal(", ") && in.number(1, 2, f.day) &&
           in.literal(" ") && in.name(monthNames, f.month) && in.literal(" ") &&
           in.number(4, 4, f.year) && in.literal(" ") && timeOfDay(in, f) && in.literal(" ") &&
           zone(in) && in.atEnd();
}

Fields utcFields(std::chrono::system_clock::time_point time) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss clock(std::chrono::floor<std::chrono::seconds>(time - day));
    return {
        int(date.year()),           int(unsigned(date.month())) - 1, int(unsigned(date.day())),
        int(clock.hours().count()), int(clock.minutes().count()),    int(clock.seconds().count())};
}

// The latest year ending in these two digits whose date is not more than 50 years after now.
int fullYear(int shortYear, const Fields& f, const Fields& now) {
    const int limit = now.year + 50;
    int year = limit - ((limit - shortYear) % 100 + 100) % 100;
    if (year == limit && std::tie(f.month, f.day, f.hour, f.minute, f.second) >
                             std::tie(now.month, now.day, now.hour, now.minute, now.second))
        year -= 100;
    return year;
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool rfc850Date(Cursor in, Fields& f, const Fields& now) {
    int weekday = 0;
    int shortYear = 0;
    if (!(in.name(longDayNames, weekday) && in.literal(", ") && in.number(2, 2, f.day) &&
          in.literal("-") && in.name(monthNames, f.month) && in.literal("-") &&
          in.number(2, 2, shortYear) && in.literal(" ") && timeOfDay(in, f) && in.literal(" ") &&
          zone(in) && in.atEnd()))
        return false;
    f.year = fullYear(shortYear, f, now);
    return true;
}

// Sun Nov  6 08:49:37 1994
bool asctimeDate(Cursor in, Fields& f) {
    int weekday = 0;
    return in.name(shortDayNames, weekday) && in.literal(" ") && in.name(monthNames, f.month) &&
           in.literal(" ") && (in.literal(" ") ? in.number(1, 1, f.day) : in.number(2, 2, f.day)) &&
           in.literal(" ") && timeOfDay(in, f) && in.literal(" ") && in.number(4, 4, f.year) &&
           in.atEnd();
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<qint64> parseHttpDate(std::string_view text,
                                    std::chrono::system_clock::time_point now) {
    const Cursor in(trimmed(text));
    Fields f;
    if (!imfFixdate(in, f) && !rfc850Date(in, f, utcFields(now)) && !asctimeDate(in, f))
        return std::nullopt;
    // The weekday is not checked against the date: it adds nothing, and servers get it wrong.
    const std::chrono::year_month_day date{std::chrono::year(f.year),
                                           std::chrono::month(unsigned(f.month) + 1),
                                           std::chrono::day(unsigned(f.day))};
    // Second 60 is a leap second; it is counted as the first second of the next minute.
    if (!date.ok() || f.hour > 23 || f.minute > 59 || f.second > 60)
        return std::nullopt;
    const qint64 days = std::chrono::sys_days(date).time_since_epoch().count();
    const qint64 seconds = days * 86'400 + f.hour * 3'600 + f.minute * 60 + f.second;
    return seconds * 1'000;
}
