// The upload of one message: converted into a CTempStream by the conversion library, then sent to
// the folder with APPEND, its state flags and its delivery time, as a synchronising literal.
#pragma once

#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/transfer/TempStream.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ex2qln::transfer {

// The flag words of APPEND from a message's PR_ICON_INDEX, PR_FLAG_STATUS and PR_MESSAGE_FLAGS,
// each given only when it could be read: "\Answered" (replied icon), "Forwarded" (forwarded icon),
// "\Flagged", "\Seen" (read), "\Draft" (unsent), in this order and separated by one blank.
std::string AppendFlagWords(std::optional<std::int32_t> iconIndex, std::optional<std::int32_t> flagStatus,
                            std::optional<std::int32_t> messageFlags);

// A UTC file time as IMAP's date-time, "05-Jan-2021 08:03:09 +0000"; nullopt for a time before
// the year 1 or after 9999, which IMAP cannot write.
std::optional<std::string> InternalDate(const FILETIME& time);

// A folder path as an IMAP quoted string's contents: double quotes and backslashes escaped.
std::string QuotedImapText(std::string_view text);

// What the journal adds around the APPEND: `beforeAppend` gets the literal's size once the message
// is converted and before the command goes out (a failure sends nothing); `appendedUid` receives
// the UID the server reported with APPENDUID, 0 without it.
struct UploadJournalHooks {
    std::function<HRESULT(std::uint32_t size)> beforeAppend;
    std::uint32_t* appendedUid = nullptr;
};

// Converts `message` and appends it to `folder` (an IMAP path). The conversion reads the mailbox
// identity and the server's settings from `settings` through a CConfigProp. A conversion failure
// sends nothing; a refusal gives MAPI_E_EXTENDED_ERROR and a broken connection
// MAPI_E_NETWORK_ERROR, with the client's error text. `bytes` receives the size of the message
// sent. A message that outgrows the stream's window goes to `spill`, or without it to a file of its
// own. The caller holds the client's command lock.
HRESULT UploadMessage(imap::CImapXP& client, IPropData* settings, std::string_view folder, IMAPISession* session,
                      IMessage* message, std::uint64_t* bytes = nullptr, const UploadJournalHooks* hooks = nullptr,
                      SpillFile* spill = nullptr);

} // namespace ex2qln::transfer
