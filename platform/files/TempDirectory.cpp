// The user's temporary directory from the environment.
#include "platform/files/TempDirectory.h"

#include <cstdlib>

namespace platform {

std::string TempDirectory()
{
    const char* fromEnvironment = std::getenv("TMPDIR");
    std::string directory = fromEnvironment && *fromEnvironment ? fromEnvironment : "/tmp";
    if (directory.back() != '/')
        directory += '/';
    return directory;
}

} // namespace platform
