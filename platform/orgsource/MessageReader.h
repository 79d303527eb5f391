// Messages of an organisation file: a .msg file reference, or an object with properties,
// recipients and attachments (embedded messages included), on top of a .msg file when it names one.
#pragma once

#include "platform/cfb/MsgModel.h"
#include "platform/orgsource/PropertyReader.h"

#include <cstdint>
#include <map>
#include <string>

namespace platform::orgsource {

class MessageReader {
public:
    // Named properties go into `named`, the store's mapping.
    MessageReader(NamedPropertyMap& named, const ValueSource& source) : named_(named), source_(source) {}

    // The message at `path`, `depth` levels of embedding down; a message of a folder (`topLevel`)
    // may have an "id". Throws ReadError.
    cfb::MsgMessage Read(const Json& json, const std::string& path, int depth, bool topLevel);

private:
    cfb::MsgAttachment ReadAttachment(const Json& json, const std::string& path, int depth);
    // A .msg file, with its named properties moved into the store's mapping.
    cfb::MsgMessage ReadMsg(const std::string& reference, const std::string& path);

    NamedPropertyMap& named_;
    const ValueSource& source_;
};

} // namespace platform::orgsource
