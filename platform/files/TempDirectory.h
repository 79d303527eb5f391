// The user's temporary directory: $TMPDIR, else /tmp, always ending in "/".
#pragma once

#include <string>

namespace platform {
std::string TempDirectory();
} // namespace platform
