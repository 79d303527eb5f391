// Reading an organisation file (the JSON format of FORMAT.md) into an Organisation.
#pragma once

#include "platform/base/HResult.h"
#include "platform/orgsource/Organisation.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform::orgsource {

// Reads the organisation file at `path`: its address list, its stores with their folder trees and
// the index of each folder's messages (directories are listed, their .msg files not yet read);
// files it names are found relative to the file's directory. Messages are read when they are
// asked for (Organisation::ReadMessage), and a fault in one is found then, for that message only.
// On failure `error` names the file, the place in it as a JSON path
// ("org.json: mailboxes[2].folders[0].messages[5].id: expected a string") and what is wrong, and
// `organisation` is left empty. Statuses: the system error for files and directories that cannot
// be read, MAPI_E_CORRUPT_DATA for JSON syntax and nesting deeper than 256 levels,
// MAPI_E_BAD_VALUE for values and missing members, MAPI_E_INVALID_PARAMETER for unknown names,
// MAPI_E_COLLISION for duplicates, MAPI_E_NOT_FOUND for references to nothing, MAPI_E_TOO_BIG for
// limits; a message read later gives the same statuses, and the .msg reader's for a damaged .msg
// file.
HRESULT ReadOrganisationFile(const std::string& path, Organisation& organisation, std::string& error);

// The same for a text already in memory; `name` stands for the file in error texts and relative
// references start from `baseDirectory` (empty, or ending in "/"). Without a base directory the
// text may not refer to files at all.
HRESULT ReadOrganisationText(std::string_view text, std::string_view name, const std::optional<std::string>& baseDirectory,
                             Organisation& organisation, std::string& error);

} // namespace platform::orgsource
