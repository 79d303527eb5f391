// The content of an Outlook .msg file as plain values: properties, recipients, attachments,
// embedded messages and the named-property mapping.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <mapidefs.h>
#include <mapitags.h>

namespace platform::cfb {

// A value that stays in its file and is read in pieces when wanted: the data of a large attachment,
// which would otherwise sit in memory whole as long as its message is open.
class StreamedValue {
public:
    virtual ~StreamedValue() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to out.size() bytes from `offset`; `read` is less only at the end of the value. A file that
    // has shrunk since it was opened gives MAPI_E_CORRUPT_DATA. Safe from several threads at once.
    virtual HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const = 0;
};

// One property. Which value member holds the value follows from the type:
//   integer  PT_I2, PT_LONG, PT_BOOLEAN (0 or 1), PT_ERROR, PT_I8, PT_CURRENCY (the scaled
//            64-bit value), PT_SYSTIME (the 64-bit FILETIME)
//   real     PT_FLOAT, PT_DOUBLE, PT_APPTIME
//   bytes    PT_BINARY, PT_CLSID (16 bytes), PT_STRING8 (bytes in the message's code page, no
//            terminator), server ids, restrictions and rule actions; empty for PT_OBJECT
//   text     PT_UNICODE (UTF-16, no terminator)
//   streamed PT_BINARY kept in its file instead of `bytes` (see StreamedValue)
//   integers, reals, byteValues, texts: the multi-valued forms of the same types.
struct MsgProperty {
    std::uint32_t tag = 0;
    std::uint32_t flags = 0;  // the PROPATTR_* bits kept in the property stream
    std::int64_t integer = 0;
    double real = 0;
    std::vector<std::uint8_t> bytes;
    std::shared_ptr<const StreamedValue> streamed;
    std::u16string text;
    std::vector<std::int64_t> integers;
    std::vector<double> reals;
    std::vector<std::vector<std::uint8_t>> byteValues;
    std::vector<std::u16string> texts;

    std::uint16_t Type() const { return static_cast<std::uint16_t>(tag & 0xFFFF); }
    std::uint16_t Id() const { return static_cast<std::uint16_t>(tag >> 16); }
};

using MsgPropertyList = std::vector<MsgProperty>;

// The property with exactly this tag, or nullptr.
const MsgProperty* FindProperty(const MsgPropertyList& properties, std::uint32_t tag);

struct MsgMessage;

struct MsgRecipient {
    std::uint32_t number = 0;  // from the storage name, in file order
    MsgPropertyList properties;
};

struct MsgAttachment {
    std::uint32_t number = 0;  // from the storage name, in file order
    MsgPropertyList properties;
    std::unique_ptr<MsgMessage> embedded;  // set for attach method 5
};

struct MsgMessage {
    MsgPropertyList properties;
    std::vector<MsgRecipient> recipients;
    std::vector<MsgAttachment> attachments;
    // The code page of the PT_STRING8 values of the message, its recipients and attachments, as
    // StringCodePage (MsgCodePage.h) finds it; 0 when nothing says.
    std::uint32_t codePage = 0;
};

using Guid = std::array<std::uint8_t, 16>;  // in its stored (little-endian field) byte order

// What a property id from 0x8000 on stands for: a property set and a number (LID) or a name.
struct MsgNamedProperty {
    std::uint16_t id = 0;
    Guid propertySet{};
    bool isString = false;
    std::uint32_t lid = 0;   // when !isString
    std::u16string name;     // when isString
};

// A whole file: the message and the named-property mapping that it and its embedded messages share.
struct MsgDocument {
    MsgMessage message;
    std::vector<MsgNamedProperty> namedProperties;
    // What the reader left out of a damaged file (a named-property entry, a recipient, an
    // attachment), each with its place and fault; empty for a sound file.
    std::vector<std::string> leftOut;
};

} // namespace platform::cfb
