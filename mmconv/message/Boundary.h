// Multipart boundaries from the process-wide pseudo-random generator.
#pragma once

#include <string>

namespace mmconv {

// Restarts the generator (the library start-up seeds it with the current time).
void SeedBoundaryGenerator(unsigned seed);

// "----_=_NextPart_%d_%08d.%08d" with three values from 0 to 32767.
std::string GenerateBoundary();

} // namespace mmconv
