// What every run of the built ex2qln shares: where it is and the banner it starts with.
#pragma once

#include "Version.h"

#include <string>

namespace e2e {

inline const std::string kProgram = EX2QLN_BIN_DIR "/ex2qln";

inline std::string Banner()
{
    return "Quillon Migration Utility Version " + std::to_string(ex2qln::version::kMajor) + "." +
           std::to_string(ex2qln::version::kMinor) + "." + std::to_string(ex2qln::version::kPatch) + "." +
           std::to_string(ex2qln::version::kBuild) +
           "\nCopies an Exchange organisation's directory and mailboxes into a Quillon server.\n\n";
}

} // namespace e2e
