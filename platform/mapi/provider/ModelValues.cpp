// Turning the model's property lists into stored property values.
#include "platform/mapi/provider/ModelValues.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

namespace cfb = platform::cfb;

std::u16string Text(const std::vector<std::uint8_t>& bytes)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    return CodePageToUtf16(text, 0);
}

GUID ToGuid(const std::vector<std::uint8_t>& bytes)
{
    // The model keeps a GUID in its stored order, which is the in-memory layout of GUID.
    GUID guid{};
    std::memcpy(&guid, bytes.data(), sizeof guid);
    return guid;
}

template <typename Element, typename Source, typename Convert>
SCODE SetNumbers(PropertyBag& bag, ULONG tag, const std::vector<Source>& source, Convert convert)
{
    std::vector<Element> elements;
    elements.reserve(source.size());
    for (const Source& item : source)
        elements.push_back(convert(item));
    SPropValue value{};
    value.ulPropTag = tag;
    // Every multi-valued number array is a count followed by a pointer.
    value.Value.MVl.cValues = static_cast<ULONG>(elements.size());
    value.Value.MVl.lpl = reinterpret_cast<LONG*>(elements.data());
    return bag.Set(value);
}

SCODE SetTexts(PropertyBag& bag, ULONG tag, std::vector<std::u16string> texts)
{
    std::vector<LPWSTR> pointers;
    for (std::u16string& text : texts)
        pointers.push_back(text.data());
    SPropValue value{};
    value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_MV_UNICODE);
    value.Value.MVszW = {static_cast<ULONG>(pointers.size()), pointers.data()};
    return bag.Set(value);
}

SCODE SetMultiple(PropertyBag& bag, const cfb::MsgProperty& property, ULONG tag)
{
    switch (property.Type()) {
    case MV_FLAG | PT_I2:
        return SetNumbers<SHORT>(bag, tag, property.integers, [](std::int64_t v) { return static_cast<SHORT>(v); });
    case MV_FLAG | PT_LONG:
        return SetNumbers<LONG>(bag, tag, property.integers, [](std::int64_t v) { return static_cast<LONG>(v); });
    case MV_FLAG | PT_I8:
    case MV_FLAG | PT_CURRENCY:
    case MV_FLAG | PT_SYSTIME:
        return SetNumbers<std::int64_t>(bag, tag, property.integers, [](std::int64_t v) { return v; });
    case MV_FLAG | PT_FLOAT:
        return SetNumbers<float>(bag, tag, property.reals, [](double v) { return static_cast<float>(v); });
    case MV_FLAG | PT_DOUBLE:
    case MV_FLAG | PT_APPTIME:
        return SetNumbers<double>(bag, tag, property.reals, [](double v) { return v; });
    case MV_FLAG | PT_BINARY: {
        std::vector<SBinary> binaries;
        for (const std::vector<std::uint8_t>& bytes : property.byteValues)
            binaries.push_back({static_cast<ULONG>(bytes.size()), const_cast<BYTE*>(bytes.data())});
        SPropValue value{};
        value.ulPropTag = tag;
        value.Value.MVbin = {static_cast<ULONG>(binaries.size()), binaries.data()};
        return bag.Set(value);
    }
    case MV_FLAG | PT_UNICODE:
        return SetTexts(bag, tag, property.texts);
    case MV_FLAG | PT_STRING8: {
        std::vector<std::u16string> texts;
        for (const std::vector<std::uint8_t>& bytes : property.byteValues)
            texts.push_back(Text(bytes));
        return SetTexts(bag, tag, std::move(texts));
    }
    default:
        return S_OK;
    }
}

SCODE SetValue(PropertyBag& bag, const cfb::MsgProperty& property, ULONG tag)
{
    SPropValue value{};
    value.ulPropTag = tag;
    switch (property.Type()) {
    case PT_I2: value.Value.i = static_cast<SHORT>(property.integer); break;
    case PT_LONG: value.Value.l = static_cast<LONG>(property.integer); break;
    case PT_ERROR: value.Value.err = static_cast<SCODE>(property.integer); break;
    case PT_BOOLEAN: value.Value.b = property.integer != 0; break;
    case PT_I8: value.Value.li.QuadPart = property.integer; break;
    case PT_CURRENCY: value.Value.cur.int64 = property.integer; break;
    case PT_SYSTIME:
        value.Value.ft.dwLowDateTime = static_cast<DWORD>(property.integer);
        value.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(property.integer) >> 32);
        break;
    case PT_FLOAT: value.Value.flt = static_cast<float>(property.real); break;
    case PT_DOUBLE:
    case PT_APPTIME: value.Value.dbl = property.real; break;
    case PT_BINARY:
        value.Value.bin = {static_cast<ULONG>(property.bytes.size()), const_cast<BYTE*>(property.bytes.data())};
        break;
    case PT_UNICODE: {
        std::u16string text = property.text;
        value.Value.lpszW = text.data();
        return bag.Set(value);
    }
    case PT_STRING8: {
        std::u16string text = Text(property.bytes);
        value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
        value.Value.lpszW = text.data();
        return bag.Set(value);
    }
    case PT_CLSID: {
        if (property.bytes.size() != sizeof(GUID))
            return S_OK;
        GUID guid = ToGuid(property.bytes);
        value.Value.lpguid = &guid;
        return bag.Set(value);
    }
    default: return SetMultiple(bag, property, tag);
    }
    return bag.Set(value);
}

} // namespace

SCODE LoadModelValues(const cfb::MsgPropertyList& properties, const std::map<std::uint16_t, ULONG>* namedIds,
                      PropertyBag& bag)
{
    for (const cfb::MsgProperty& property : properties) {
        ULONG id = property.Id();
        if (namedIds != nullptr && id >= 0x8000) {
            auto mapped = namedIds->find(static_cast<std::uint16_t>(id));
            if (mapped == namedIds->end())
                continue;
            id = mapped->second;
        }
        SCODE status = SetValue(bag, property, PROP_TAG(property.Type(), id));
        if (status != S_OK)
            return status;
    }
    return S_OK;
}

} // namespace mapi
