// One run of ex2qln: start-up, parsing, log, validation, MAPI, the commands in their fixed order, exit.
#pragma once

#include "platform/base/HResult.h"

#include <string>
#include <vector>

namespace ex2qln::driver {

// `arguments` holds the program's own name first, as argv does. Returns the run's status: 0 after
// the usage text or a validation message, else the status of the failing step or the last command.
HRESULT RunProgram(const std::vector<std::string>& arguments);

} // namespace ex2qln::driver
