// The .msg layout on top of the compound file: property streams, value streams, recipient and
// attachment storages, embedded messages and the named-property mapping.
#include "platform/cfb/MsgFile.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/MsgCodePage.h"
#include "platform/cfb/MsgLayout.h"
#include "platform/cfb/MsgValues.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

namespace platform::cfb {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Eight hexadecimal digits and nothing else, as in storage and stream names.
std::optional<std::uint32_t> ParseHex8(std::string_view text)
{
    if (text.size() != 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

bool StartsWithFolded(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i];
        char b = prefix[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

bool IsKnownType(std::uint16_t type)
{
    if ((type & MV_FLAG) == 0)
        return IsInlineType(type) || IsStreamedType(type);
    std::uint16_t base = type & ~MV_FLAG;
    return MultipleFixedSize(base) != 0 || IsMultipleVariable(base);
}

class MsgReader {
public:
    // `streamLarge`: large attachment data stays in the file (the file's bytes must be FileBytes).
    MsgReader(const CompoundFile& file, bool streamLarge)
        : file_(file), budget_(file.Capacity()), streamLarge_(streamLarge)
    {
    }

    HRESULT Read(MsgDocument& document)
    {
        leftOut_ = &document.leftOut;
        HRESULT hr = ReadNamedProperties(document.namedProperties);
        if (FAILED(hr))
            return hr;
        return ReadMessage(file_.Root(), "", kTopLevelHeaderSize, 0, 0, document.message);
    }

    const std::string& Error() const { return error_; }

private:
    HRESULT Fail(std::string_view where, std::string message)
    {
        error_ = where.empty() ? std::move(message) : std::string(where) + ": " + message;
        return MAPI_E_CORRUPT_DATA;
    }

    // A fault of the compound file itself: nothing below it can be trusted, so the read fails.
    HRESULT FailStructure(std::string_view where, std::string message)
    {
        structural_ = true;
        return Fail(where, std::move(message));
    }

    HRESULT FailFromFile(std::string_view where)
    {
        return FailStructure(where, file_.Error());
    }

    // A damaged recipient or attachment is left out with its fault; the rest of the message is read.
    // Faults of the compound file are not recovered from.
    HRESULT LeaveOut(HRESULT hr)
    {
        if (SUCCEEDED(hr) || structural_)
            return hr;
        leftOut_->push_back(error_);
        error_.clear();
        return S_OK;
    }

    // Each stream is read once; in a sound file no two streams share a sector, so all of them
    // together fit in the file. More means directory entries share data, which could otherwise
    // make a small file fill the memory.
    HRESULT ReadStream(const DirectoryEntry& stream, Bytes& data, std::string_view where)
    {
        if (stream.size > budget_)
            return FailStructure(where, "the streams hold more data than the file (they share sectors)");
        HRESULT hr = file_.ReadStream(stream, data);
        if (FAILED(hr))
            return FailFromFile(where);
        budget_ -= data.size();
        return hr;
    }

    // The stream of that name, or nullptr when the storage has none (a storage of that name is
    // not a stream).
    const DirectoryEntry* FindStream(const DirectoryEntry& storage, std::string_view name) const
    {
        const DirectoryEntry* entry = file_.Find(storage, name);
        return entry != nullptr && entry->type == EntryType::Stream ? entry : nullptr;
    }

    HRESULT ReadMessage(const DirectoryEntry& storage, const std::string& where, std::size_t headerSize,
                        int depth, std::uint32_t enclosingCodePage, MsgMessage& message)
    {
        if (depth > kMaxNesting)
            return Fail(where, "embedded messages are nested more than " + std::to_string(kMaxNesting) + " deep");
        HRESULT hr = ReadPropertyList(storage, where, headerSize, message.properties);
        if (FAILED(hr))
            return hr;
        message.codePage = StringCodePage(message.properties, enclosingCodePage);

        for (std::uint32_t child : storage.children) {
            const DirectoryEntry& entry = file_.Entry(child);
            if (entry.type != EntryType::Storage)
                continue;
            const std::string childWhere = where.empty() ? entry.name : where + "/" + entry.name;
            if (StartsWithFolded(entry.name, kRecipientStoragePrefix)) {
                auto number = ParseHex8(std::string_view(entry.name).substr(kRecipientStoragePrefix.size()));
                if (!number)
                    continue;
                MsgRecipient& recipient = message.recipients.emplace_back();
                recipient.number = *number;
                hr = ReadPropertyList(entry, childWhere, kSubObjectHeaderSize, recipient.properties);
                if (FAILED(hr))
                    message.recipients.pop_back();
                hr = LeaveOut(hr);
            } else if (StartsWithFolded(entry.name, kAttachmentStoragePrefix)) {
                auto number = ParseHex8(std::string_view(entry.name).substr(kAttachmentStoragePrefix.size()));
                if (!number)
                    continue;
                MsgAttachment& attachment = message.attachments.emplace_back();
                attachment.number = *number;
                hr = ReadAttachment(entry, childWhere, depth, message.codePage, attachment);
                if (FAILED(hr))
                    message.attachments.pop_back();
                hr = LeaveOut(hr);
            }
            if (FAILED(hr))
                return hr;
        }
        std::sort(message.recipients.begin(), message.recipients.end(),
                  [](const MsgRecipient& a, const MsgRecipient& b) { return a.number < b.number; });
        std::sort(message.attachments.begin(), message.attachments.end(),
                  [](const MsgAttachment& a, const MsgAttachment& b) { return a.number < b.number; });
        return S_OK;
    }

    HRESULT ReadAttachment(const DirectoryEntry& storage, const std::string& where, int depth,
                           std::uint32_t codePage, MsgAttachment& attachment)
    {
        HRESULT hr = ReadPropertyList(storage, where, kSubObjectHeaderSize, attachment.properties);
        if (FAILED(hr))
            return hr;
        const MsgProperty* method = FindProperty(attachment.properties, PR_ATTACH_METHOD);
        if (method == nullptr || method->integer != ATTACH_EMBEDDED_MSG)
            return S_OK;
        const std::string name = std::string(kValueStreamPrefix) + Hex8(PR_ATTACH_DATA_OBJ);
        const DirectoryEntry* embedded = file_.Find(storage, name);
        if (embedded == nullptr || embedded->type != EntryType::Storage)
            return Fail(where, "the attachment is an embedded message but has no \"" + name + "\" storage");
        attachment.embedded = std::make_unique<MsgMessage>();
        return ReadMessage(*embedded, where + "/" + name, kEmbeddedHeaderSize, depth + 1, codePage,
                           *attachment.embedded);
    }

    HRESULT ReadPropertyList(const DirectoryEntry& storage, const std::string& where, std::size_t headerSize,
                             MsgPropertyList& properties)
    {
        const DirectoryEntry* stream = FindStream(storage, kPropertiesStreamName);
        if (stream == nullptr)
            return Fail(where, "there is no \"" + std::string(kPropertiesStreamName) + "\" stream");
        Bytes data;
        HRESULT hr = ReadStream(*stream, data, where);
        if (FAILED(hr))
            return hr;
        if (data.size() < headerSize)
            return Fail(where, "the property stream is shorter than its header (" + std::to_string(data.size()) +
                                   " bytes)");

        // A value kept outside the property stream; one whose stream is absent is left out.
        auto addStreamed = [&](MsgProperty property) {
            bool present = false;
            HRESULT status = ReadStreamValue(storage, where, property, present);
            if (SUCCEEDED(status) && present)
                properties.push_back(std::move(property));
            return status;
        };
        std::set<std::uint32_t> seen;
        std::span<const std::uint8_t> all(data);
        for (std::size_t offset = headerSize; offset + kPropertyEntrySize <= data.size();
             offset += kPropertyEntrySize) {
            MsgProperty property;
            property.tag = ReadU32(all, offset);
            property.flags = ReadU32(all, offset + 4);
            if (!IsKnownType(property.Type()) || !seen.insert(property.tag).second)
                continue;
            if (IsInlineType(property.Type())) {
                SetFixedValue(property.Type(), all.subspan(offset + 8, 8), property.integer, property.real);
                properties.push_back(std::move(property));
                continue;
            }
            if (hr = addStreamed(std::move(property)); FAILED(hr))
                return hr;
        }
        // Some writers leave streamed values out of the property stream; the stream names carry
        // the tag, so nothing is lost.
        for (std::uint32_t child : storage.children) {
            const DirectoryEntry& entry = file_.Entry(child);
            if (!StartsWithFolded(entry.name, kValueStreamPrefix))
                continue;
            auto tag = ParseHex8(std::string_view(entry.name).substr(kValueStreamPrefix.size()));
            if (!tag || !IsKnownType(static_cast<std::uint16_t>(*tag & 0xFFFF)) ||
                IsInlineType(static_cast<std::uint16_t>(*tag & 0xFFFF)) || seen.count(*tag) != 0)
                continue;
            seen.insert(*tag);
            MsgProperty property;
            property.tag = *tag;
            if (hr = addStreamed(std::move(property)); FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    // Fills a value kept outside the property stream; `present` is false when its stream is absent.
    HRESULT ReadStreamValue(const DirectoryEntry& storage, const std::string& where, MsgProperty& property,
                            bool& present)
    {
        const std::string name = std::string(kValueStreamPrefix) + Hex8(property.tag);
        const std::uint16_t type = property.Type();
        if (type == PT_OBJECT) {
            present = file_.Find(storage, name) != nullptr;
            return S_OK;
        }
        const DirectoryEntry* stream = FindStream(storage, name);
        if (stream == nullptr)
            return S_OK;
        present = true;
        if (streamLarge_ && property.tag == PR_ATTACH_DATA_BIN && stream->size >= kStreamedValueMinimum)
            return OpenStreamed(*stream, where, property);
        Bytes data;
        HRESULT hr = ReadStream(*stream, data, where);
        if (FAILED(hr))
            return hr;
        if ((type & MV_FLAG) == 0) {
            SetSingleValue(type, std::move(data), property);
            return S_OK;
        }
        const std::uint16_t base = type & ~MV_FLAG;
        if (std::size_t size = MultipleFixedSize(base); size != 0) {
            SetMultipleFixed(base, size, data, property);
            return S_OK;
        }
        return ReadMultipleVariable(storage, where, name, base, data, property);
    }

    HRESULT OpenStreamed(const DirectoryEntry& stream, std::string_view where, MsgProperty& property)
    {
        if (stream.size > budget_)
            return FailStructure(where, "the streams hold more data than the file (they share sectors)");
        if (FAILED(file_.OpenStreamed(stream, property.streamed)))
            return FailFromFile(where);
        budget_ -= stream.size;
        return S_OK;
    }

    static void SetSingleValue(std::uint16_t type, Bytes data, MsgProperty& property)
    {
        if (type == PT_UNICODE) {
            property.text = ToUtf16(data);
            return;
        }
        if (type == PT_STRING8)
            StripTrailingZeros(data);
        property.bytes = std::move(data);
    }

    static void SetMultipleFixed(std::uint16_t base, std::size_t size, const Bytes& data, MsgProperty& property)
    {
        std::span<const std::uint8_t> all(data);
        for (std::size_t offset = 0; offset + size <= data.size(); offset += size) {
            std::span<const std::uint8_t> value = all.subspan(offset, size);
            if (base == PT_CLSID) {
                property.byteValues.emplace_back(value.begin(), value.end());
                continue;
            }
            // Fixed values are read from 8 bytes; shorter elements are padded for that.
            std::uint8_t padded[8] = {};
            std::copy(value.begin(), value.end(), padded);
            std::int64_t integer = 0;
            double real = 0;
            SetFixedValue(base, padded, integer, real);
            if (base == PT_FLOAT || base == PT_DOUBLE || base == PT_APPTIME)
                property.reals.push_back(real);
            else
                property.integers.push_back(integer);
        }
    }

    // Variable-size multiple values: a length stream, then one stream per value named with "-" and
    // the value's index.
    HRESULT ReadMultipleVariable(const DirectoryEntry& storage, const std::string& where, const std::string& name,
                                 std::uint16_t base, const Bytes& lengths, MsgProperty& property)
    {
        const std::size_t entrySize = base == PT_BINARY ? 8 : 4;
        const std::size_t count = lengths.size() / entrySize;
        for (std::size_t index = 0; index < count; ++index) {
            const std::string valueName = name + "-" + Hex8(static_cast<std::uint32_t>(index));
            const DirectoryEntry* stream = FindStream(storage, valueName);
            if (stream == nullptr)
                return Fail(where, "value " + std::to_string(index) + " of the multi-valued property 0x" +
                                       Hex8(property.tag) + " has no stream");
            Bytes data;
            HRESULT hr = ReadStream(*stream, data, where);
            if (FAILED(hr))
                return hr;
            if (base == PT_UNICODE) {
                property.texts.push_back(ToUtf16(data));
                continue;
            }
            if (base == PT_STRING8)
                StripTrailingZeros(data);
            property.byteValues.push_back(std::move(data));
        }
        return S_OK;
    }

    HRESULT ReadNamedProperties(std::vector<MsgNamedProperty>& named)
    {
        const DirectoryEntry* storage = file_.Find(file_.Root(), kNameIdStorageName);
        if (storage == nullptr || storage->type != EntryType::Storage)
            return S_OK;
        const std::string where(kNameIdStorageName);
        Bytes guids;
        Bytes entries;
        Bytes strings;
        for (auto [streamName, data] : {std::pair{kGuidStreamName, &guids}, std::pair{kEntryStreamName, &entries},
                                        std::pair{kStringStreamName, &strings}}) {
            const DirectoryEntry* stream = FindStream(*storage, streamName);
            if (stream == nullptr)
                continue;
            HRESULT hr = ReadStream(*stream, *data, where);
            if (FAILED(hr))
                return hr;
        }
        const std::size_t guidCount = guids.size() / 16;
        std::span<const std::uint8_t> entryBytes(entries);
        for (std::size_t offset = 0; offset + 8 <= entries.size(); offset += 8) {
            const std::uint32_t nameOrOffset = ReadU32(entryBytes, offset);
            const std::uint16_t indexAndKind = ReadU16(entryBytes, offset + 4);
            const std::uint16_t propertyIndex = ReadU16(entryBytes, offset + 6);
            const std::size_t guidIndex = indexAndKind >> 1;
            MsgNamedProperty property;
            if (propertyIndex > 0x7FFE) {
                leftOut_->push_back(where + ": named property index " + std::to_string(propertyIndex) +
                                    " is out of range");
                continue;
            }
            property.id = static_cast<std::uint16_t>(PROP_ID_NAMED_MIN + propertyIndex);
            if (guidIndex == 1) {
                property.propertySet = kPsMapi;
            } else if (guidIndex == 2) {
                property.propertySet = kPsPublicStrings;
            } else if (guidIndex >= 3 && guidIndex - 3 < guidCount) {
                std::copy_n(guids.begin() + static_cast<std::ptrdiff_t>((guidIndex - 3) * 16), 16,
                            property.propertySet.begin());
            } else {
                leftOut_->push_back(where + ": named property 0x" + Hex8(property.id).substr(4) +
                                    " refers to property set " + std::to_string(guidIndex) +
                                    ", which does not exist");
                continue;
            }
            property.isString = (indexAndKind & 1) != 0;
            if (!property.isString) {
                property.lid = nameOrOffset;
            } else if (HRESULT hr = ReadName(strings, nameOrOffset, property, where); FAILED(hr)) {
                leftOut_->push_back(error_);
                error_.clear();
                continue;
            }
            named.push_back(std::move(property));
        }
        return S_OK;
    }

    // A string name: its byte length, then that many bytes of UTF-16.
    HRESULT ReadName(const Bytes& strings, std::uint32_t offset, MsgNamedProperty& property, const std::string& where)
    {
        if (strings.size() < 4 || offset > strings.size() - 4)
            return Fail(where, "the name of named property 0x" + Hex8(property.id).substr(4) +
                                   " lies outside the string stream");
        const std::uint32_t length = ReadU32(strings, offset);
        if (length > strings.size() - offset - 4)
            return Fail(where, "the name of named property 0x" + Hex8(property.id).substr(4) +
                                   " runs past the end of the string stream");
        property.name = ToUtf16(std::span<const std::uint8_t>(strings).subspan(offset + 4, length));
        return S_OK;
    }

    const CompoundFile& file_;
    std::uint64_t budget_;
    const bool streamLarge_;
    std::string error_;
    bool structural_ = false;
    std::vector<std::string>* leftOut_ = nullptr;
};

std::string NameFile(std::string_view name, std::string_view message)
{
    return std::string(name) + ": " + std::string(message);
}

} // namespace

const MsgProperty* FindProperty(const MsgPropertyList& properties, std::uint32_t tag)
{
    for (const MsgProperty& property : properties) {
        if (property.tag == tag)
            return &property;
    }
    return nullptr;
}

namespace {

// Opens the compound file and reads the message from it; `streamLarge` as for MsgReader.
template <typename Bytes>
HRESULT ReadDocument(Bytes bytes, bool streamLarge, std::string_view name, MsgDocument& document, std::string& error)
{
    document = MsgDocument();
    error.clear();
    CompoundFile file;
    HRESULT hr = file.Open(std::move(bytes));
    if (FAILED(hr)) {
        error = NameFile(name, file.Error());
        return hr;
    }
    MsgReader reader(file, streamLarge);
    hr = reader.Read(document);
    if (FAILED(hr)) {
        error = NameFile(name, reader.Error());
        document = MsgDocument();
    }
    return hr;
}

} // namespace

HRESULT ReadWhole(const StreamedValue& value, std::vector<std::uint8_t>& bytes)
{
    bytes.resize(static_cast<std::size_t>(value.Size()));
    std::size_t read = 0;
    HRESULT hr = value.ReadAt(0, bytes, read);
    bytes.resize(read);
    return hr;
}

HRESULT ReadMsgBytes(std::span<const std::uint8_t> bytes, std::string_view name, MsgDocument& document,
                     std::string& error)
{
    return ReadDocument(bytes, false, name, document, error);
}

HRESULT ReadMsgFile(const std::string& path, MsgDocument& document, std::string& error)
{
    document = MsgDocument();
    // Read at offsets, not mapped: a file that shrinks meanwhile must come out damaged, not end the
    // process.
    std::shared_ptr<const FileBytes> bytes;
    HRESULT hr = OpenFileBytes(path, bytes);
    if (FAILED(hr)) {
        error = NameFile(path, std::string("cannot be read (") + std::strerror(hr & 0xFFFF) + ")");
        return hr;
    }
    return ReadDocument(std::move(bytes), true, path, document, error);
}

} // namespace platform::cfb
