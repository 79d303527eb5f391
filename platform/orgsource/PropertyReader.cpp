// Reading property objects: resolving each key to a tag and converting its value by type.
#include "platform/orgsource/PropertyReader.h"

#include "platform/orgsource/PropertyNames.h"
#include "platform/orgsource/ReadError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

namespace platform::orgsource {
namespace {

// Files referenced from an organisation file are read whole; this keeps a mistaken reference to
// a huge file from exhausting memory.
constexpr std::uintmax_t kMaxReferencedFile = 256u * 1024 * 1024;

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::uint16_t Normalised(std::uint16_t type)
{
    // Strings are kept in Unicode; the MAPI layer gives either form on request.
    if ((type & ~MV_FLAG) == PT_STRING8) {
        return static_cast<std::uint16_t>((type & MV_FLAG) | PT_UNICODE);
    }
    return type;
}

bool IsSupportedType(std::uint16_t type)
{
    switch (type & ~MV_FLAG) {
    case PT_I2:
    case PT_LONG:
    case PT_FLOAT:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_UNICODE:
    case PT_SYSTIME:
    case PT_CLSID:
    case PT_BINARY:
        return true;
    case PT_NULL:
    case PT_ERROR:
    case PT_BOOLEAN:
        return (type & MV_FLAG) == 0;
    default:
        return false;
    }
}

bool IsHexNumber(std::string_view text)
{
    if (text.size() < 3 || text.size() > 10 || text.substr(0, 2) != "0x") {
        return false;
    }
    for (char c : text.substr(2)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::uint32_t HexValue(std::string_view text)
{
    std::uint32_t value = 0;
    for (char c : text.substr(2)) {
        value = value * 16 + static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10));
    }
    return value;
}

// "SET:ID:TYPE": a property set, a LID (0x...) or a name, and a type.
std::uint32_t ResolveNamedKey(std::string_view key, const std::string& path, NamedPropertyMap& named)
{
    std::size_t first = key.find(':');
    std::size_t last = key.rfind(':');
    if (first == last) {
        Fail(MAPI_E_INVALID_PARAMETER, path, "a named property is written as SET:ID:TYPE");
    }
    std::string_view setName = key.substr(0, first);
    std::string_view id = key.substr(first + 1, last - first - 1);
    std::string_view typeName = key.substr(last + 1);
    auto set = PropertySetFromName(setName);
    if (!set) {
        Fail(MAPI_E_INVALID_PARAMETER, path, "unknown property set \"" + std::string(setName) + "\"");
    }
    auto type = TypeFromName(typeName);
    if (!type) {
        Fail(MAPI_E_INVALID_PARAMETER, path, "unknown property type \"" + std::string(typeName) + "\"");
    }
    cfb::MsgNamedProperty name;
    name.propertySet = *set;
    if (IsHexNumber(id)) {
        name.lid = HexValue(id);
    } else {
        if (id.size() >= 2 && id.front() == '"' && id.back() == '"') {
            id = id.substr(1, id.size() - 2);
        }
        auto text = Utf8ToUtf16(id);
        if (id.empty() || !text) {
            Fail(MAPI_E_BAD_VALUE, path, "a named property needs a LID or a name between SET: and :TYPE");
        }
        name.isString = true;
        name.name = *text;
    }
    return (static_cast<std::uint32_t>(named.IdOf(name, path)) << 16) | *type;
}

std::uint32_t ResolveKey(const std::string& key, const std::string& path, NamedPropertyMap* named)
{
    std::uint32_t tag = 0;
    if (IsHexNumber(key) && key.size() == 10) {
        tag = HexValue(key);
        if (named != nullptr && (tag >> 16) >= PROP_ID_NAMED_MIN) {
            Fail(MAPI_E_BAD_VALUE, path,
                 "property id " + Hex(tag >> 16, 4) + " is in the named range; write it as SET:ID:TYPE");
        }
    } else if (key.find(':') != std::string::npos || key.rfind("PidLid", 0) == 0) {
        if (named == nullptr) {
            Fail(MAPI_E_BAD_VALUE, path, "named properties are not allowed here");
        }
        if (key.find(':') != std::string::npos) {
            tag = ResolveNamedKey(key, path, *named);
        } else {
            auto known = NamedPropertyFromName(key);
            if (!known) {
                Fail(MAPI_E_INVALID_PARAMETER, path, "unknown named property \"" + key + "\"");
            }
            cfb::MsgNamedProperty name;
            name.propertySet = *PropertySetFromName(known->set);
            name.lid = known->lid;
            tag = (static_cast<std::uint32_t>(named->IdOf(name, path)) << 16) | known->type;
        }
    } else {
        auto known = TagFromName(key);
        if (!known) {
            Fail(MAPI_E_INVALID_PARAMETER, path, "unknown property name \"" + key + "\"");
        }
        tag = *known;
    }
    auto type = static_cast<std::uint16_t>(tag & 0xFFFF);
    if (!IsSupportedType(Normalised(type))) {
        Fail(MAPI_E_BAD_VALUE, path, "property type " + TypeName(type) + " cannot be written in an organisation file");
    }
    return (tag & 0xFFFF0000u) | Normalised(type);
}

std::int64_t ReadInteger(const Json& value, const std::string& path, std::int64_t low, std::int64_t high,
                         std::string_view typeName)
{
    std::int64_t result = 0;
    if (value.is_string() && IsHexNumber(value.get_ref<const std::string&>())) {
        result = HexValue(value.get_ref<const std::string&>());
    } else if (value.is_number_unsigned()) {
        auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            Fail(MAPI_E_BAD_VALUE, path, "value out of range for " + std::string(typeName));
        }
        result = static_cast<std::int64_t>(unsignedValue);
    } else if (value.is_number_integer()) {
        result = value.get<std::int64_t>();
    } else {
        Fail(MAPI_E_BAD_VALUE, path, "expected an integer");
    }
    if (result < low || result > high) {
        Fail(MAPI_E_BAD_VALUE, path, "value out of range for " + std::string(typeName));
    }
    return result;
}

double ReadReal(const Json& value, const std::string& path)
{
    if (!value.is_number()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected a number");
    }
    return value.get<double>();
}

const std::string& ReadString(const Json& value, const std::string& path)
{
    if (!value.is_string()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected a string");
    }
    return value.get_ref<const std::string&>();
}

std::u16string ReadText(const Json& value, const std::string& path)
{
    auto text = Utf8ToUtf16(ReadString(value, path));
    if (!text) {
        Fail(MAPI_E_BAD_VALUE, path, "the text is not valid UTF-8");
    }
    return *text;
}

std::int64_t ReadTime(const Json& value, const std::string& path)
{
    auto time = ParseIsoTime(ReadString(value, path));
    if (!time) {
        Fail(MAPI_E_BAD_VALUE, path, "expected a time as YYYY-MM-DDThh:mm:ssZ");
    }
    return *time;
}

Bytes ReadClsid(const Json& value, const std::string& path)
{
    auto guid = ParseGuid(ReadString(value, path));
    if (!guid) {
        Fail(MAPI_E_BAD_VALUE, path, "expected a GUID such as {00062002-0000-0000-C000-000000000046}");
    }
    return Bytes(guid->begin(), guid->end());
}

Bytes ReadFile(const std::string& reference, const std::string& path, const ValueSource& source)
{
    std::string full = ResolveFile(reference, path, source);
    std::error_code error;
    if (std::filesystem::exists(full, error) && !std::filesystem::is_regular_file(full, error)) {
        // A device or a FIFO could block or never end.
        Fail(MAPI_E_BAD_VALUE, path, "cannot read " + full + ": not a regular file");
    }
    std::ifstream file(full, std::ios::binary);
    if (!file) {
        int error = errno;
        Fail(HResultFromErrno(error == 0 ? ENOENT : error), path, "cannot read " + full + ": " + std::strerror(error == 0 ? ENOENT : error));
    }
    file.seekg(0, std::ios::end);
    auto size = file.tellg();
    if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxReferencedFile) {
        Fail(MAPI_E_TOO_BIG, path, "cannot read " + full + ": not a regular file of at most 256 MiB");
    }
    file.seekg(0);
    Bytes bytes(static_cast<std::size_t>(size));
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        Fail(HResultFromErrno(EIO), path, "cannot read " + full);
    }
    return bytes;
}

// One value of an element type (no multi-value flag) into `property`'s single-value members.
void ReadSingle(const Json& value, std::uint16_t type, const std::string& path, const ValueSource& source,
                cfb::MsgProperty& property)
{
    switch (type) {
    case PT_NULL:
        if (!value.is_null()) {
            Fail(MAPI_E_BAD_VALUE, path, "expected null");
        }
        return;
    case PT_I2:
        property.integer = ReadInteger(value, path, -32768, 65535, "PT_I2");
        property.integer = static_cast<std::int16_t>(property.integer);
        return;
    case PT_LONG:
    case PT_ERROR:
        property.integer = ReadInteger(value, path, std::numeric_limits<std::int32_t>::min(),
                                       std::numeric_limits<std::uint32_t>::max(), TypeName(type));
        property.integer = static_cast<std::int32_t>(property.integer);
        return;
    case PT_I8:
        property.integer = ReadInteger(value, path, std::numeric_limits<std::int64_t>::min(),
                                       std::numeric_limits<std::int64_t>::max(), "PT_I8");
        return;
    case PT_BOOLEAN:
        if (!value.is_boolean()) {
            Fail(MAPI_E_BAD_VALUE, path, "expected true or false");
        }
        property.integer = value.get<bool>() ? 1 : 0;
        return;
    case PT_CURRENCY: {
        double amount = ReadReal(value, path);
        if (!(amount > -9.2e14 && amount < 9.2e14)) {
            Fail(MAPI_E_BAD_VALUE, path, "value out of range for PT_CURRENCY");
        }
        property.integer = static_cast<std::int64_t>(amount * 10000.0 + (amount < 0 ? -0.5 : 0.5));
        return;
    }
    case PT_FLOAT:
    case PT_DOUBLE:
    case PT_APPTIME:
        property.real = ReadReal(value, path);
        return;
    case PT_SYSTIME:
        property.integer = ReadTime(value, path);
        return;
    case PT_UNICODE:
        property.text = ReadText(value, path);
        return;
    case PT_CLSID:
        property.bytes = ReadClsid(value, path);
        return;
    case PT_BINARY:
        property.bytes = ReadBinary(value, path, source);
        return;
    default:
        Fail(MAPI_E_BAD_VALUE, path, "property type " + TypeName(type) + " cannot be written in an organisation file");
    }
}

cfb::MsgProperty ReadValue(const Json& value, std::uint32_t tag, const std::string& path, const ValueSource& source)
{
    cfb::MsgProperty property;
    property.tag = tag;
    auto type = static_cast<std::uint16_t>(tag & 0xFFFF);
    if ((type & MV_FLAG) == 0) {
        ReadSingle(value, type, path, source, property);
        return property;
    }
    if (!value.is_array()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected an array");
    }
    auto elementType = static_cast<std::uint16_t>(type & ~MV_FLAG);
    for (std::size_t i = 0; i < value.size(); ++i) {
        cfb::MsgProperty element;
        ReadSingle(value[i], elementType, ElementPath(path, i), source, element);
        switch (elementType) {
        case PT_FLOAT:
        case PT_DOUBLE:
        case PT_APPTIME:
            property.reals.push_back(element.real);
            break;
        case PT_UNICODE:
            property.texts.push_back(std::move(element.text));
            break;
        case PT_CLSID:
        case PT_BINARY:
            property.byteValues.push_back(std::move(element.bytes));
            break;
        default:
            property.integers.push_back(element.integer);
        }
    }
    return property;
}

} // namespace

std::string ResolveFile(const std::string& reference, const std::string& path, const ValueSource& source)
{
    if (!source.filesAllowed) {
        Fail(MAPI_E_BAD_VALUE, path, "this organisation text cannot refer to files");
    }
    return !reference.empty() && reference.front() == '/' ? reference : source.baseDirectory + reference;
}

NamedPropertyMap::NamedPropertyMap(std::vector<cfb::MsgNamedProperty>& entries) : entries_(entries)
{
    for (const auto& entry : entries_) {
        ids_.emplace(Key{entry.propertySet, entry.isString, entry.isString ? 0 : entry.lid, entry.name}, entry.id);
    }
}

std::uint16_t NamedPropertyMap::IdOf(const cfb::MsgNamedProperty& name, const std::string& path)
{
    Key key{name.propertySet, name.isString, name.isString ? 0 : name.lid, name.isString ? name.name : std::u16string()};
    auto found = ids_.find(key);
    if (found != ids_.end()) {
        return found->second;
    }
    if (entries_.size() > static_cast<std::size_t>(PROP_ID_NAMED_MAX - PROP_ID_NAMED_MIN)) {
        Fail(MAPI_E_TOO_BIG, path, "more named properties than one store can hold");
    }
    cfb::MsgNamedProperty entry = name;
    entry.id = static_cast<std::uint16_t>(PROP_ID_NAMED_MIN + entries_.size());
    if (entry.isString) {
        entry.lid = 0;
    } else {
        entry.name.clear();
    }
    entries_.push_back(entry);
    ids_.emplace(key, entry.id);
    return entry.id;
}

cfb::MsgPropertyList ReadPropertyObject(const Json& object, const std::string& path, NamedPropertyMap* named,
                                        const ValueSource& source)
{
    if (!object.is_object()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected an object");
    }
    cfb::MsgPropertyList properties;
    for (const auto& [key, value] : object.items()) {
        std::string keyPath = MemberPath(path, key);
        std::uint32_t tag = ResolveKey(key, keyPath, named);
        for (const auto& existing : properties) {
            if (existing.Id() == (tag >> 16)) {
                Fail(MAPI_E_COLLISION, keyPath, "property " + Hex(tag, 8) + " is given twice");
            }
        }
        properties.push_back(ReadValue(value, tag, keyPath, source));
    }
    return properties;
}

Bytes ReadBinary(const Json& value, const std::string& path, const ValueSource& source)
{
    if (value.is_string()) {
        auto bytes = DecodeHex(value.get_ref<const std::string&>());
        if (!bytes) {
            Fail(MAPI_E_BAD_VALUE, path, "expected hexadecimal bytes");
        }
        return *bytes;
    }
    if (!value.is_object() || value.size() != 1) {
        Fail(MAPI_E_BAD_VALUE, path, "expected hexadecimal bytes or one of {\"hex\"}, {\"base64\"}, {\"text\"}, {\"file\"}");
    }
    auto member = value.begin();
    const std::string& form = member.key();
    const Json& text = member.value();
    std::string formPath = MemberPath(path, form);
    const std::string& content = ReadString(text, formPath);
    if (form == "hex") {
        return ReadBinary(text, formPath, source);
    }
    if (form == "base64") {
        auto bytes = DecodeBase64(content);
        if (!bytes) {
            Fail(MAPI_E_BAD_VALUE, formPath, "expected Base64 text");
        }
        return *bytes;
    }
    if (form == "text") {
        return Bytes(content.begin(), content.end());
    }
    if (form == "file") {
        return ReadFile(content, formPath, source);
    }
    Fail(MAPI_E_BAD_VALUE, path, "expected hexadecimal bytes or one of {\"hex\"}, {\"base64\"}, {\"text\"}, {\"file\"}");
}

void SetProperty(cfb::MsgPropertyList& properties, cfb::MsgProperty property)
{
    for (auto& existing : properties) {
        if (existing.Id() == property.Id()) {
            existing = std::move(property);
            return;
        }
    }
    properties.push_back(std::move(property));
}

void SetProperties(cfb::MsgPropertyList& properties, std::vector<cfb::MsgProperty> added)
{
    std::vector<bool> placed(added.size());
    // The bits of the added ids: most existing properties are none of them, and are passed over
    // without a walk over the added ones.
    std::uint64_t addedIds = 0;
    for (const auto& property : added) {
        addedIds |= std::uint64_t{1} << (property.Id() & 63);
    }
    for (auto& existing : properties) {
        if ((addedIds & (std::uint64_t{1} << (existing.Id() & 63))) == 0) {
            continue;
        }
        for (std::size_t i = 0; i < added.size(); ++i) {
            if (!placed[i] && existing.Id() == added[i].Id()) {
                existing = std::move(added[i]);
                placed[i] = true;
                break;
            }
        }
    }
    properties.reserve(properties.size() + static_cast<std::size_t>(std::count(placed.begin(), placed.end(), false)));
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (!placed[i]) {
            properties.push_back(std::move(added[i]));
        }
    }
}

cfb::MsgProperty IntegerProperty(std::uint32_t tag, std::int64_t value)
{
    cfb::MsgProperty property;
    property.tag = tag;
    property.integer = value;
    return property;
}

cfb::MsgProperty TextProperty(std::uint32_t tag, std::u16string text)
{
    cfb::MsgProperty property;
    property.tag = tag;
    property.text = std::move(text);
    return property;
}

cfb::MsgProperty BinaryProperty(std::uint32_t tag, Bytes bytes)
{
    cfb::MsgProperty property;
    property.tag = tag;
    property.bytes = std::move(bytes);
    return property;
}

} // namespace platform::orgsource
