// Whatever the HTTP date reader accepts must be a whole second, and where libcurl's own reader
// takes the same text for a date of the Gregorian calendar (from 1583) too, both must name the
// same second. They differ by design in two places: a two-digit year is placed by HTTP's
// fifty-year rule here and around a fixed pivot year in libcurl, so when the text carries no
// four-digit year the two may name different centuries, but never a different day or time;
// and libcurl reads a year before 1583 as no date, or one under 100 as a two-digit year even
// when it is written with four digits, so those years are not compared.
#include "platform/HttpDate.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <curl/curl.h>
#include <string>

namespace {

// A fixed "now", so that every input reads the same on every run.
const std::chrono::system_clock::time_point now{std::chrono::seconds(1'781'524'800)};

struct tm utcOf(time_t second) {
    struct tm fields {};
    gmtime_r(&second, &fields);
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<qint64> ms = parseHttpDate(text, now);
    if (!ms)
        return 0;
    if (*ms % 1000 != 0)
        std::abort();

    // libcurl reads a C string, and -1 is both its failure and a second it could mean.
    if (text.find('\0') != std::string::npos)
        return 0;
    const time_t theirs = curl_getdate(text.c_str(), nullptr);
    if (theirs == -1)
        return 0;
    const struct tm ours = utcOf(time_t(*ms / 1000));
    const int ourYear = ours.tm_year + 1900;
    if (ourYear < 1583)
        return 0;
    const struct tm other = utcOf(theirs);
    const bool sameMoment = ours.tm_mon == other.tm_mon && ours.tm_mday == other.tm_mday &&
                            ours.tm_hour == other.tm_hour && ours.tm_min == other.tm_min &&
                            ours.tm_sec == other.tm_sec;
    const bool fourDigitYear = text.find(std::to_string(ourYear)) != std::string::npos;
    const int yearsApart = ourYear - (other.tm_year + 1900);
    if (!sameMoment || (fourDigitYear ? yearsApart != 0 : yearsApart % 100 != 0))
        std::abort();
    return 0;
}
