// --pwd-file: the administrator password from a file that only its owner can read, so that it
// never stands in the argument list, which every user can read. The launcher hands the password
// over this way.
#pragma once

#include <optional>
#include <string>

namespace ex2qln::driver {

enum class PasswordFileProblem {
    None,
    Unreadable,       // absent, not a regular file, or not readable
    OpenToOthers,     // group or other users have some access to it: it is left alone
};

struct PasswordFileContent {
    std::optional<std::string> password;  // set when Problem is None
    PasswordFileProblem problem = PasswordFileProblem::None;
};

// Reads the password, the file's first line without its line end (LF or CR LF), and deletes the
// file, so that the password does not stay on disk after the run. A file that others can access is
// neither read nor deleted.
PasswordFileContent TakePasswordFile(const std::string& path);

} // namespace ex2qln::driver
