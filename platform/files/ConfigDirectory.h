// Where the program's configuration files live: the user's and the machine's directories.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME/ex2qln/ when that variable holds an absolute path, else ~/.config/ex2qln/
// (home from $HOME, else the password database); empty when no home can be found.
std::string UserConfigDirectory();

// /etc/ex2qln/
std::string MachineConfigDirectory();

// Where the user's logs and other state belong: $XDG_STATE_HOME/ex2qln/ when that variable holds an
// absolute path, else ~/.local/state/ex2qln/; empty when no home can be found.
std::string UserStateDirectory();

} // namespace platform
