// The messages of an Outlook data file (.pst, .ost) through the MAPI runtime: the file is served
// as the one mailbox of a stand-in organisation, and its messages are opened folder by folder.
#pragma once

#include <mapidefs.h>

#include <functional>
#include <string>

namespace ex2qln::convert {

// Whether `path` names a data file (by its extension).
bool IsDataFile(const std::string& path);

// Gives every message below the file's top folder to `visit` with the path of its folder (names
// joined by "/", each made safe as a file name) and its position in the folder (from 1). A message
// that cannot be opened goes to `failed` with the runtime's text. 8-bit text that does not name its
// code page is read in `codePage`. The status of the logon and the walk; `error` says what failed.
HRESULT ForEachDataFileMessage(const std::string& path, unsigned codePage,
                               const std::function<void(IMessage*, const std::string& folder, ULONG position)>& visit,
                               const std::function<void(const std::string& folder, ULONG position, HRESULT, const std::string&)>& failed,
                               std::string& error);

} // namespace ex2qln::convert
