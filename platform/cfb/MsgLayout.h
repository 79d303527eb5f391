// The names, header sizes and property-type classes of the .msg layout inside a compound file.
#pragma once

#include "platform/cfb/MsgModel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::cfb {

inline constexpr std::string_view kPropertiesStreamName = "__properties_version1.0";
inline constexpr std::string_view kNameIdStorageName = "__nameid_version1.0";
inline constexpr std::string_view kValueStreamPrefix = "__substg1.0_";
inline constexpr std::string_view kRecipientStoragePrefix = "__recip_version1.0_#";
inline constexpr std::string_view kAttachmentStoragePrefix = "__attach_version1.0_#";
inline constexpr std::string_view kGuidStreamName = "__substg1.0_00020102";
inline constexpr std::string_view kEntryStreamName = "__substg1.0_00030102";
inline constexpr std::string_view kStringStreamName = "__substg1.0_00040102";

// Property-stream header sizes: the top-level message also keeps counters and reserved bytes.
inline constexpr std::size_t kTopLevelHeaderSize = 32;
inline constexpr std::size_t kEmbeddedHeaderSize = 24;
inline constexpr std::size_t kSubObjectHeaderSize = 8;
inline constexpr std::size_t kPropertyEntrySize = 16;

// Embedded messages deeper than this are taken for a crafted file rather than a real item; the
// writer refuses them too, so that what it writes can be read.
inline constexpr int kMaxNesting = 64;

// Property sets with fixed indexes in the named-property mapping (1 and 2); others are listed in
// the GUID stream from index 3 on.
inline constexpr Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Eight upper-case hexadecimal digits, as in stream and storage names.
inline std::string Hex8(std::uint32_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 28; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 0xF];
    return text;
}

// Types whose value sits in the 8 value bytes of the property-stream entry.
inline bool IsInlineType(std::uint16_t type)
{
    switch (type) {
    case PT_NULL:
    case PT_I2:
    case PT_LONG:
    case PT_FLOAT:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_ERROR:
    case PT_BOOLEAN:
    case PT_I8:
    case PT_SYSTIME:
        return true;
    default:
        return false;
    }
}

// Single-valued types kept in a stream (or, for objects, a storage) of their own.
inline bool IsStreamedType(std::uint16_t type)
{
    switch (type) {
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
    case PT_CLSID:
    case PT_OBJECT:
    case PT_SVREID:
    case PT_SRESTRICT:
    case PT_ACTIONS:
        return true;
    default:
        return false;
    }
}

// The size of one value of a multi-valued type whose values share one stream; 0 for the others.
inline std::size_t MultipleFixedSize(std::uint16_t baseType)
{
    switch (baseType) {
    case PT_I2:
        return 2;
    case PT_LONG:
    case PT_FLOAT:
        return 4;
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
        return 8;
    case PT_CLSID:
        return 16;
    default:
        return 0;
    }
}

// Multi-valued types with a length stream and one stream per value.
inline bool IsMultipleVariable(std::uint16_t baseType)
{
    return baseType == PT_STRING8 || baseType == PT_UNICODE || baseType == PT_BINARY;
}

} // namespace platform::cfb
