// RFC 5322 dates from FILETIME values.
#include "mmconv/message/RfcDate.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace mmconv {
namespace {

constexpr std::int64_t kFileTimeUnixEpoch = 116444736000000000;
constexpr std::int64_t kTicksPerSecond = 10000000;

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

std::string MinutesToRfcTime(long biasMinutes)
{
    const int magnitude = static_cast<int>(std::labs(biasMinutes) % (100 * 60));
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", biasMinutes > 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return zone;
}

std::string FiletimeToRfc822DateTime(std::uint64_t fileTime, long biasMinutes)
{
    const std::int64_t seconds =
        (static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kFileTimeUnixEpoch / kTicksPerSecond) -
        static_cast<std::int64_t>(biasMinutes) * 60;
    const std::time_t local = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (gmtime_r(&local, &fields) == nullptr)
        return {};
    char date[64];
    std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d ", kDays[fields.tm_wday], fields.tm_mday,
        kMonths[fields.tm_mon], fields.tm_year + 1900, fields.tm_hour, fields.tm_min, fields.tm_sec);
    return date + MinutesToRfcTime(biasMinutes);
}

long CurrentTimeZoneBias()
{
    const std::time_t now = std::time(nullptr);
    std::tm fields{};
    if (localtime_r(&now, &fields) == nullptr)
        return 0;
    return -fields.tm_gmtoff / 60;
}

} // namespace mmconv
