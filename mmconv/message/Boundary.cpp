// The boundary generator: the classic linear congruential generator, 15 bits per value.
#include "mmconv/message/Boundary.h"

#include <cstdint>
#include <cstdio>

namespace mmconv {
namespace {

std::uint32_t gState = 1;

int NextValue()
{
    gState = gState * 214013u + 2531011u;
    return static_cast<int>((gState >> 16) & 0x7FFF);
}

} // namespace

void SeedBoundaryGenerator(unsigned seed)
{
    gState = seed;
}

std::string GenerateBoundary()
{
    const int first = NextValue();
    const int second = NextValue();
    const int third = NextValue();
    char boundary[100];
    std::snprintf(boundary, sizeof boundary, "----_=_NextPart_%d_%08d.%08d", first, second, third);
    return boundary;
}

} // namespace mmconv
