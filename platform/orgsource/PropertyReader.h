// Property lists of an organisation file: keys (published names, hexadecimal tags, named
// properties) and values typed by the tag's type.
#pragma once

#include "platform/cfb/MsgModel.h"
#include "platform/orgsource/ValueDecoding.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace platform::orgsource {

using Json = nlohmann::ordered_json;

// The named-property mapping of one store: ids from 0x8000 in order of first use.
class NamedPropertyMap {
public:
    explicit NamedPropertyMap(std::vector<cfb::MsgNamedProperty>& entries);

    // The id of a name, assigned on first use. Throws ReadError when the id range is used up.
    std::uint16_t IdOf(const cfb::MsgNamedProperty& name, const std::string& path);

private:
    using Key = std::tuple<cfb::Guid, bool, std::uint32_t, std::u16string>;
    std::vector<cfb::MsgNamedProperty>& entries_;
    std::map<Key, std::uint16_t> ids_;
};

// Where values come from: the directory that relative file references start from, and whether
// files may be referred to at all.
struct ValueSource {
    std::string baseDirectory;
    bool filesAllowed = true;
};

// The file a reference names. Throws ReadError when files are not allowed.
std::string ResolveFile(const std::string& reference, const std::string& path, const ValueSource& source);

// Reads a property object at `path`. With `named` null (the address book) named properties are
// not allowed and ids from 0x8000 are plain tags. Throws ReadError.
cfb::MsgPropertyList ReadPropertyObject(const Json& object, const std::string& path, NamedPropertyMap* named,
                                        const ValueSource& source);

// Bytes written as hexadecimal text, or {"hex"}, {"base64"}, {"text"} or {"file"}. Throws ReadError.
Bytes ReadBinary(const Json& value, const std::string& path, const ValueSource& source);

// Replaces the property with the same id, whatever its type, or appends.
void SetProperty(cfb::MsgPropertyList& properties, cfb::MsgProperty property);
// SetProperty for each of `added` (of different ids), in one pass over `properties`.
void SetProperties(cfb::MsgPropertyList& properties, std::vector<cfb::MsgProperty> added);

cfb::MsgProperty IntegerProperty(std::uint32_t tag, std::int64_t value);
cfb::MsgProperty TextProperty(std::uint32_t tag, std::u16string text);
cfb::MsgProperty BinaryProperty(std::uint32_t tag, Bytes bytes);

} // namespace platform::orgsource
