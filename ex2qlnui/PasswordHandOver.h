// The file through which the launcher hands the administrator password to ex2qln. Arguments are
// readable by every user (/proc/PID/cmdline), so the password never is one: it goes into a file
// only the user can read, whose path ex2qln gets with --pwd-file and which ex2qln deletes once read.
// A path, unlike an inherited descriptor, survives a terminal program that starts its commands from
// a server process of its own.
#pragma once

#include "platform/base/HResult.h"

#include <string>
#include <string_view>

namespace ex2qlnui {

// The user's runtime directory ($XDG_RUNTIME_DIR: in memory, private to the user, emptied at
// logout) when it is an absolute path to a directory of the user's that nobody else can enter;
// else the temporary directory. Ends in "/".
std::string PasswordFileDirectory();

class PasswordHandOver {
public:
    PasswordHandOver() = default;
    PasswordHandOver(const PasswordHandOver&) = delete;
    PasswordHandOver& operator=(const PasswordHandOver&) = delete;
    // Removes the file unless it was handed over.
    ~PasswordHandOver();

    // Writes `password` into a new file of mode 0600 in PasswordFileDirectory(). A failure leaves
    // no file behind and returns the system error as a status.
    HRESULT Write(std::string_view password);
    const std::string& Path() const { return path_; }
    // ex2qln was started with the file: from now on deleting it is its business.
    void HandOver() { path_.clear(); }

private:
    std::string path_;
};

} // namespace ex2qlnui
