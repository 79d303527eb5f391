// A generated organisation of any size for the organisation benchmark: mailboxes whose folders are
// directories of .msg files (each with an attachment, so that the whole reaches gigabytes) and a
// folder of messages written in the organisation file.
#pragma once

#include "platform/base/HResult.h"

#include <cstddef>
#include <string>

namespace bench {

struct OrganisationShape {
    std::size_t mailboxes = 4;
    std::size_t directoriesPerMailbox = 4;
    std::size_t messagesPerDirectory = 1250;
    std::size_t attachmentBytes = 100 * 1024;
    std::size_t inlineMessagesPerMailbox = 50;
};

// Writes the .msg files of `shape` under `directory` (which must exist) once.
HRESULT WriteMessageFiles(const std::string& directory, const OrganisationShape& shape, std::string& error);

// Writes an organisation file at `path` over the files WriteMessageFiles wrote into its directory,
// listing the first `directories` directories of each mailbox; the number of messages it holds
// goes to `messages`.
HRESULT WriteOrganisationFile(const std::string& path, const OrganisationShape& shape, std::size_t directories,
                              std::size_t& messages, std::string& error);

} // namespace bench
