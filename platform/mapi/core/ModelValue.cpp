// Converting the model's property values by type.
#include "platform/mapi/core/ModelValue.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <mapitags.h>

#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

namespace cfb = platform::cfb;

// A converted value, or none for what the runtime has no form for.
using Made = std::optional<StoredValue>;

class Converter {
public:
    // With `view`, binary and Unicode values point into the model, which `keepAlive` holds when it is set.
    Converter(std::uint32_t codePage, bool view, const std::shared_ptr<const void>& keepAlive, SCODE& status)
        : codePage_(codePage), view_(view), keepAlive_(keepAlive), status_(status)
    {
    }

    // Multi-valued numbers: the model's 64-bit integers or reals as the MAPI element type.
    template <typename Element, typename Source>
    Made Numbers(ULONG tag, const std::vector<Source>& source, auto convert)
    {
        std::vector<Element> elements;
        elements.reserve(source.size());
        for (const Source& item : source)
            elements.push_back(convert(item));
        SPropValue value{};
        value.ulPropTag = tag;
        value.Value.MVl.cValues = static_cast<ULONG>(elements.size());
        value.Value.MVl.lpl = reinterpret_cast<LONG*>(elements.data());
        return Own(value);
    }

    Made Value(const cfb::MsgProperty& property, ULONG tag)
    {
        SPropValue value{};
        value.ulPropTag = tag;
        switch (property.Type()) {
        case PT_I2: value.Value.i = static_cast<SHORT>(property.integer); return Own(value);
        case PT_LONG: value.Value.l = static_cast<LONG>(property.integer); return Own(value);
        case PT_ERROR: value.Value.err = static_cast<SCODE>(property.integer); return Own(value);
        case PT_BOOLEAN: value.Value.b = property.integer != 0; return Own(value);
        case PT_I8: value.Value.li.QuadPart = property.integer; return Own(value);
        case PT_CURRENCY: value.Value.cur.int64 = property.integer; return Own(value);
        case PT_SYSTIME:
            value.Value.ft.dwLowDateTime = static_cast<DWORD>(property.integer);
            value.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(property.integer) >> 32);
            return Own(value);
        case PT_FLOAT: value.Value.flt = static_cast<float>(property.real); return Own(value);
        case PT_DOUBLE:
        case PT_APPTIME: value.Value.dbl = property.real; return Own(value);
        case PT_BINARY:
            if (property.streamed != nullptr)
                return StoredValue::Streamed(tag, property.streamed);
            [[fallthrough]];
        case PT_SVREID:
            value.Value.bin.cb = static_cast<ULONG>(property.bytes.size());
            value.Value.bin.lpb = const_cast<BYTE*>(property.bytes.data());
            return Viewed(value);
        case PT_UNICODE:
            value.Value.lpszW = const_cast<WCHAR*>(property.text.c_str());
            return Viewed(value);
        case PT_STRING8: {
            // Some writers store PR_HTML as 8-bit text; its bytes are what readers of PR_HTML
            // (a binary) expect, in the charset the HTML itself names.
            if (PROP_ID(tag) == PROP_ID(PR_HTML)) {
                value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
                value.Value.bin.cb = static_cast<ULONG>(property.bytes.size());
                value.Value.bin.lpb = const_cast<BYTE*>(property.bytes.data());
                return Viewed(value);
            }
            std::u16string text = Text(property.bytes);
            value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
            value.Value.lpszW = text.data();
            return Own(value);
        }
        case PT_CLSID: {
            if (property.bytes.size() != sizeof(GUID))
                return std::nullopt;
            cfb::Guid stored{};
            std::memcpy(stored.data(), property.bytes.data(), stored.size());
            GUID guid = GuidFromModel(stored);
            value.Value.lpguid = &guid;
            return Own(value);
        }
        default: return Multiple(property, tag);
        }
    }

    Made Multiple(const cfb::MsgProperty& property, ULONG tag)
    {
        SPropValue value{};
        value.ulPropTag = tag;
        switch (property.Type()) {
        case MV_FLAG | PT_I2:
            return Numbers<SHORT>(tag, property.integers, [](std::int64_t v) { return static_cast<SHORT>(v); });
        case MV_FLAG | PT_LONG:
            return Numbers<LONG>(tag, property.integers, [](std::int64_t v) { return static_cast<LONG>(v); });
        case MV_FLAG | PT_I8:
        case MV_FLAG | PT_CURRENCY:
        case MV_FLAG | PT_SYSTIME:
            // LARGE_INTEGER, CURRENCY and FILETIME are all the 64-bit value in little-endian order.
            return Numbers<std::int64_t>(tag, property.integers, [](std::int64_t v) { return v; });
        case MV_FLAG | PT_FLOAT:
            return Numbers<float>(tag, property.reals, [](double v) { return static_cast<float>(v); });
        case MV_FLAG | PT_DOUBLE:
        case MV_FLAG | PT_APPTIME:
            return Numbers<double>(tag, property.reals, [](double v) { return v; });
        case MV_FLAG | PT_BINARY: {
            std::vector<SBinary> binaries;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues)
                binaries.push_back({static_cast<ULONG>(bytes.size()), const_cast<BYTE*>(bytes.data())});
            value.Value.MVbin = {static_cast<ULONG>(binaries.size()), binaries.data()};
            return Own(value);
        }
        case MV_FLAG | PT_CLSID: {
            std::vector<GUID> guids;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues) {
                if (bytes.size() != sizeof(GUID))
                    return std::nullopt;
                cfb::Guid stored{};
                std::memcpy(stored.data(), bytes.data(), stored.size());
                guids.push_back(GuidFromModel(stored));
            }
            value.Value.MVguid = {static_cast<ULONG>(guids.size()), guids.data()};
            return Own(value);
        }
        case MV_FLAG | PT_UNICODE:
            return Texts(tag, std::vector<std::u16string>(property.texts));
        case MV_FLAG | PT_STRING8: {
            std::vector<std::u16string> texts;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues)
                texts.push_back(Text(bytes));
            return Texts(CHANGE_PROP_TYPE(tag, PT_MV_UNICODE), std::move(texts));
        }
        default:
            // Objects are reached through OpenProperty; null values, restrictions and rule actions
            // have nothing a caller of this runtime reads.
            return std::nullopt;
        }
    }

    Made Texts(ULONG tag, std::vector<std::u16string> texts)
    {
        std::vector<LPWSTR> pointers;
        for (std::u16string& text : texts)
            pointers.push_back(text.data());
        SPropValue value{};
        value.ulPropTag = tag;
        value.Value.MVszW = {static_cast<ULONG>(pointers.size()), pointers.data()};
        return Own(value);
    }

    std::u16string Text(const std::vector<std::uint8_t>& bytes) const
    {
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        // A stored terminator is not part of the text.
        while (!text.empty() && text.back() == '\0')
            text.remove_suffix(1);
        return CodePageToUtf16(text, codePage_);
    }

private:
    Made Own(const SPropValue& value) { return StoredValue::CopyInPlace(value, status_); }
    Made Viewed(const SPropValue& value) { return view_ ? StoredValue::View(value, keepAlive_) : Own(value); }

    std::uint32_t codePage_;
    bool view_;
    const std::shared_ptr<const void>& keepAlive_;
    SCODE& status_;
};

} // namespace

GUID GuidFromModel(const cfb::Guid& stored)
{
    GUID guid{};
    guid.Data1 = static_cast<DWORD>(stored[0] | stored[1] << 8 | stored[2] << 16 | static_cast<DWORD>(stored[3]) << 24);
    guid.Data2 = static_cast<WORD>(stored[4] | stored[5] << 8);
    guid.Data3 = static_cast<WORD>(stored[6] | stored[7] << 8);
    std::memcpy(guid.Data4, stored.data() + 8, 8);
    return guid;
}

ValuePointer ModelValue(const cfb::MsgProperty& property, ULONG tag, std::uint32_t codePage,
                        const std::shared_ptr<const void>& keepAlive, SCODE& status)
{
    status = S_OK;
    Made made = Converter(codePage, keepAlive != nullptr, keepAlive, status).Value(property, tag);
    return made ? std::make_shared<const StoredValue>(std::move(*made)) : nullptr;
}

std::optional<StoredValue> ModelValueInPlace(const cfb::MsgProperty& property, ULONG tag, std::uint32_t codePage,
                                             SCODE& status)
{
    status = S_OK;
    return Converter(codePage, true, nullptr, status).Value(property, tag);
}

} // namespace mapi
