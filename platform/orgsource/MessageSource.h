// Where the messages of a store come from. The folders' indexes (Folder::messages and
// Folder::associated: a counter, a key and the source's own locator for each message) are made when
// the organisation is read; a message itself is read only when it is asked for, and what is read
// belongs to the caller, so that memory follows the messages in use, not the size of the store.
//
// The organisation file's source (OrganisationFileSource) finds messages written in the file by
// their position and .msg files by their name; a source over a data file would find them by the
// file's own node numbers, kept as the locators.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"

#include <string>

namespace platform::orgsource {

struct Folder;
struct Message;

class MessageSource {
public:
    virtual ~MessageSource() = default;

    // Reads `message` of `folder` (one of its hidden items when `associated`) into `document`: the
    // message with the named-property mapping of its own ids from 0x8000. Reading must be safe from
    // several threads at once. On failure `error` names the file and the place that are wrong; a
    // file that has gone or changed since the index was made is such a failure, for that message only.
    virtual HRESULT Read(const Folder& folder, const Message& message, bool associated, cfb::MsgDocument& document,
                         std::string& error) const = 0;
};

} // namespace platform::orgsource
