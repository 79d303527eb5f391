// Parsing of the --server text.
#include "ex2qln/driver/ServerAddress.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace ex2qln::driver {
namespace {

// strtol's reading (it stops at the first non-digit and gives 0 without digits), kept to 32 bits.
std::int32_t ReadNumber(const char* text, const char** end)
{
    char* stop = nullptr;
    long value = std::strtol(text, &stop, 10);
    *end = stop;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

} // namespace

ServerAddress ParseServerAddress(const std::string& text)
{
    ServerAddress address;
    std::size_t colon = text.find(':');
    address.host = text.substr(0, colon);
    if (colon == std::string::npos)
        return address;
    const char* rest = text.c_str() + colon + 1;
    address.imapPort = ReadNumber(rest, &rest);
    if (*rest == ':')
        address.cliPort = ReadNumber(rest + 1, &rest);
    return address;
}

} // namespace ex2qln::driver
