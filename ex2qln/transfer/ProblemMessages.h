// Problem messages: a message that cannot be converted or uploaded is kept for inspection as an
// Outlook .msg file in the temporary directory, "ex2qln0.msg", "ex2qln1.msg" and so on.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <string>

namespace ex2qln::transfer {

class ProblemMessages {
public:
    // Files go into `directory` (ending in "/"); the temporary directory when empty.
    explicit ProblemMessages(std::string directory = {});

    // Creates the next file: a new file of mode 0600 that only this user can read. A name that is
    // taken already, by a file or a link, is left alone and the next number is tried; so is a link
    // planted under a name, which is never followed. `path` receives the name, empty when none
    // could be made. The descriptor is the caller's to close; negative on failure, with the status.
    int CreateNext(std::string& path, HRESULT& status);

    // Writes `message` as a .msg file to the descriptor from CreateNext (and closes it); on failure
    // the file is removed.
    static HRESULT Write(IMessage* message, int descriptor, const std::string& path);

private:
    std::string directory_;
    unsigned counter_ = 0;
};

} // namespace ex2qln::transfer
