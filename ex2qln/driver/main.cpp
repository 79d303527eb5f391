// Entry point of ex2qln.
#include "ex2qln/driver/CommandLine.h"
#include "ex2qln/driver/Driver.h"
#include "ex2qln/driver/ExitStatus.h"
#include "platform/base/BatchAllocator.h"

#include "Version.h"

#include <cstring>

namespace {

// Other users can read a process's arguments, so the administrator password is blanked in the
// argument memory once the parser has its own copy.
void WipePasswordArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!ex2qln::driver::IsPasswordArgument(argv[i]))
            continue;
        char* value = std::strchr(argv[i], '=') + 1;
        std::memset(value, 'x', std::strlen(value));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (ex2qln::version::AnswerVersionRequest(argc, argv, "ex2qln"))
        return 0;
    platform::KeepFreedMemoryForTheNextMessage();
    std::vector<std::string> arguments(argv, argv + argc);
    WipePasswordArguments(argc, argv);
    return ex2qln::driver::ProcessExitCode(ex2qln::driver::RunProgram(arguments));
}
