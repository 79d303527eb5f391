// The .msg layout written from the model: property streams, value streams, recipient and attachment
// storages, embedded messages and the named-property mapping, then the file on disk.
#include "platform/cfb/MsgWriter.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/CompoundFileWriter.h"
#include "platform/cfb/MsgFile.h"
#include "platform/cfb/MsgLayout.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <new>
#include <set>
#include <span>
#include <unistd.h>

namespace platform::cfb {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Nodes = std::vector<CompoundFileNode>;

constexpr std::uint32_t kObjectSize = 0xFFFFFFFFu;  // the size entry of an object property
constexpr std::uint32_t kMappingStreamCount = 0x1F;

void AppendUtf16(Bytes& bytes, std::u16string_view text)
{
    for (char16_t unit : text)
        AppendU16(bytes, unit);
}

template <typename T>
void AppendBits(Bytes& bytes, T value)
{
    std::uint8_t raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string ValueStreamName(std::uint32_t tag) { return Widen(std::string(kValueStreamPrefix) + Hex8(tag)); }

// One fixed-size value as it is kept, little-endian in the size of its type.
void AppendFixedValue(Bytes& bytes, std::uint16_t type, std::int64_t integer, double real)
{
    switch (type) {
    case PT_I2:
        AppendU16(bytes, static_cast<std::uint16_t>(integer));
        return;
    case PT_LONG:
    case PT_ERROR:
        AppendU32(bytes, static_cast<std::uint32_t>(integer));
        return;
    case PT_BOOLEAN:
        AppendU16(bytes, integer != 0 ? 1 : 0);
        return;
    case PT_FLOAT:
        AppendBits(bytes, static_cast<float>(real));
        return;
    case PT_DOUBLE:
    case PT_APPTIME:
        AppendBits(bytes, real);
        return;
    default:  // currency, 64-bit integers and times
        AppendU64(bytes, static_cast<std::uint64_t>(integer));
        return;
    }
}

// The CRC-32 that string names are hashed with for the mapping streams: the reflected polynomial
// 0xEDB88320, started at 0 and not inverted at the end.
std::uint32_t NameChecksum(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0);
    }
    return crc;
}

std::string Hex4(std::uint32_t value) { return Hex8(value).substr(4); }

class MsgBuilder {
public:
    HRESULT Build(const MsgDocument& document, Nodes& root)
    {
        HRESULT hr = AddNamedProperties(document.namedProperties, root);
        if (FAILED(hr))
            return hr;
        return AddMessage(document.message, kTopLevelHeaderSize, 0, "", root);
    }

    const std::string& Error() const { return error_; }

private:
    HRESULT Fail(std::string_view where, std::string message)
    {
        error_ = where.empty() ? std::move(message) : std::string(where) + ": " + message;
        return E_INVALIDARG;
    }

    static std::string Place(const std::string& where, std::string_view storage)
    {
        return where.empty() ? std::string(storage) : where + "/" + std::string(storage);
    }

    HRESULT AddMessage(const MsgMessage& message, std::size_t headerSize, int depth, const std::string& where,
                       Nodes& children)
    {
        if (depth > kMaxNesting)
            return Fail(where, "embedded messages are nested more than " + std::to_string(kMaxNesting) + " deep");
        Bytes header(8, 0);
        std::uint32_t nextRecipient = 0;
        std::uint32_t nextAttachment = 0;
        std::set<std::uint32_t> numbers;
        for (const MsgRecipient& recipient : message.recipients) {
            const std::string name = std::string(kRecipientStoragePrefix) + Hex8(recipient.number);
            if (!numbers.insert(recipient.number).second)
                return Fail(where, "two recipients have the number " + std::to_string(recipient.number));
            nextRecipient = std::max(nextRecipient, recipient.number + 1);
            Nodes storage;
            HRESULT hr = AddProperties(recipient.properties, Bytes(kSubObjectHeaderSize, 0), nullptr, depth,
                                       Place(where, name), storage);
            if (FAILED(hr))
                return hr;
            children.push_back(StorageNode(Widen(name), std::move(storage)));
        }
        numbers.clear();
        for (const MsgAttachment& attachment : message.attachments) {
            const std::string name = std::string(kAttachmentStoragePrefix) + Hex8(attachment.number);
            if (!numbers.insert(attachment.number).second)
                return Fail(where, "two attachments have the number " + std::to_string(attachment.number));
            nextAttachment = std::max(nextAttachment, attachment.number + 1);
            Nodes storage;
            HRESULT hr = AddAttachment(attachment, depth, Place(where, name), storage);
            if (FAILED(hr))
                return hr;
            children.push_back(StorageNode(Widen(name), std::move(storage)));
        }
        // Reserved bytes, the ids that the next recipient and attachment would get, the counts, and
        // for the top-level message 8 more reserved bytes.
        AppendU32(header, nextRecipient);
        AppendU32(header, nextAttachment);
        AppendU32(header, static_cast<std::uint32_t>(message.recipients.size()));
        AppendU32(header, static_cast<std::uint32_t>(message.attachments.size()));
        header.resize(headerSize, 0);
        return AddProperties(message.properties, std::move(header), nullptr, depth, where, children);
    }

    HRESULT AddAttachment(const MsgAttachment& attachment, int depth, const std::string& where, Nodes& storage)
    {
        const MsgProperty* method = FindProperty(attachment.properties, PR_ATTACH_METHOD);
        if (method != nullptr && method->integer == ATTACH_EMBEDDED_MSG && attachment.embedded == nullptr)
            return Fail(where, "the attachment is an embedded message (attach method 5) but has none");
        return AddProperties(attachment.properties, Bytes(kSubObjectHeaderSize, 0), attachment.embedded.get(), depth,
                             where, storage);
    }

    // The property stream and the streams and storages of the values kept outside it. `embedded`
    // is written as the object property 0x3701000D, whether or not the list names that property.
    HRESULT AddProperties(const MsgPropertyList& properties, Bytes stream, const MsgMessage* embedded, int depth,
                          const std::string& where, Nodes& children)
    {
        std::set<std::uint32_t> tags;
        for (const MsgProperty& property : properties) {
            if (!tags.insert(property.tag).second)
                return Fail(where, "the property 0x" + Hex8(property.tag) + " appears twice");
            HRESULT hr = AddProperty(property, embedded, depth, where, stream, children);
            if (FAILED(hr))
                return hr;
        }
        if (embedded != nullptr && tags.count(PR_ATTACH_DATA_OBJ) == 0) {
            MsgProperty object;
            object.tag = PR_ATTACH_DATA_OBJ;
            HRESULT hr = AddProperty(object, embedded, depth, where, stream, children);
            if (FAILED(hr))
                return hr;
        }
        children.push_back(StreamNode(Widen(kPropertiesStreamName), std::move(stream)));
        return S_OK;
    }

    HRESULT AddProperty(const MsgProperty& property, const MsgMessage* embedded, int depth, const std::string& where,
                        Bytes& stream, Nodes& children)
    {
        const std::uint16_t type = property.Type();
        AppendU32(stream, property.tag);
        AppendU32(stream, property.flags);
        if (IsInlineType(type)) {
            const std::size_t start = stream.size();
            if (type != PT_NULL)
                AppendFixedValue(stream, type, property.integer, property.real);
            stream.resize(start + 8, 0);
            return S_OK;
        }
        if (type == PT_OBJECT)
            return AddObject(property, embedded, depth, where, stream, children);
        if (IsStreamedType(type))
            return AddSingleValue(property, where, stream, children);
        if ((type & MV_FLAG) != 0) {
            const std::uint16_t base = type & ~MV_FLAG;
            if (MultipleFixedSize(base) != 0)
                return AddMultipleFixed(property, base, where, stream, children);
            if (IsMultipleVariable(base)) {
                AddMultipleVariable(property, base, stream, children);
                return S_OK;
            }
        }
        return Fail(where, "the property 0x" + Hex8(property.tag) + " has the type 0x" + Hex4(type) +
                               ", which a .msg file cannot hold");
    }

    static void AppendSizeEntry(Bytes& stream, std::uint64_t size)
    {
        AppendU32(stream, static_cast<std::uint32_t>(size));
        AppendU32(stream, 0);
    }

    HRESULT AddObject(const MsgProperty& property, const MsgMessage* embedded, int depth, const std::string& where,
                      Bytes& stream, Nodes& children)
    {
        AppendSizeEntry(stream, kObjectSize);
        const std::u16string name = ValueStreamName(property.tag);
        if (embedded == nullptr || property.tag != PR_ATTACH_DATA_OBJ) {
            children.push_back(StorageNode(name));
            return S_OK;
        }
        Nodes message;
        HRESULT hr = AddMessage(*embedded, kEmbeddedHeaderSize, depth + 1,
                                Place(where, std::string(kValueStreamPrefix) + Hex8(property.tag)), message);
        if (FAILED(hr))
            return hr;
        children.push_back(StorageNode(name, std::move(message)));
        return S_OK;
    }

    // Strings are kept without their terminator, which the size entry still counts.
    HRESULT AddSingleValue(const MsgProperty& property, const std::string& where, Bytes& stream, Nodes& children)
    {
        Bytes data;
        std::size_t terminator = 0;
        if (property.Type() == PT_UNICODE) {
            AppendUtf16(data, property.text);
            terminator = 2;
        } else if (property.streamed != nullptr) {
            if (FAILED(ReadWhole(*property.streamed, data)))
                return Fail(where, "the value of the property 0x" + Hex8(property.tag) + " cannot be read from its file");
        } else {
            data = property.bytes;
            terminator = property.Type() == PT_STRING8 ? 1 : 0;
        }
        AppendSizeEntry(stream, data.size() + terminator);
        children.push_back(StreamNode(ValueStreamName(property.tag), std::move(data)));
        return S_OK;
    }

    HRESULT AddMultipleFixed(const MsgProperty& property, std::uint16_t base, const std::string& where, Bytes& stream,
                             Nodes& children)
    {
        Bytes data;
        if (base == PT_CLSID) {
            for (const Bytes& value : property.byteValues) {
                if (value.size() != 16)
                    return Fail(where, "a value of the property 0x" + Hex8(property.tag) + " has " +
                                           std::to_string(value.size()) + " bytes instead of 16");
                data.insert(data.end(), value.begin(), value.end());
            }
        } else if (base == PT_FLOAT || base == PT_DOUBLE || base == PT_APPTIME) {
            for (double value : property.reals)
                AppendFixedValue(data, base, 0, value);
        } else {
            for (std::int64_t value : property.integers)
                AppendFixedValue(data, base, value, 0);
        }
        AppendSizeEntry(stream, data.size());
        children.push_back(StreamNode(ValueStreamName(property.tag), std::move(data)));
        return S_OK;
    }

    // A length stream, then one stream per value named with "-" and the value's index. String
    // values keep their terminator here, and their lengths count it.
    static void AddMultipleVariable(const MsgProperty& property, std::uint16_t base, Bytes& stream, Nodes& children)
    {
        const std::string name = std::string(kValueStreamPrefix) + Hex8(property.tag);
        Bytes lengths;
        std::vector<Bytes> values;
        if (base == PT_UNICODE) {
            for (const std::u16string& text : property.texts) {
                Bytes& value = values.emplace_back();
                AppendUtf16(value, text);
                AppendU16(value, 0);
            }
        } else {
            for (const Bytes& bytes : property.byteValues) {
                Bytes& value = values.emplace_back(bytes);
                if (base == PT_STRING8)
                    value.push_back(0);
            }
        }
        for (std::size_t index = 0; index < values.size(); ++index) {
            AppendU32(lengths, static_cast<std::uint32_t>(values[index].size()));
            if (base == PT_BINARY)
                AppendU32(lengths, 0);
            children.push_back(
                StreamNode(Widen(name + "-" + Hex8(static_cast<std::uint32_t>(index))), std::move(values[index])));
        }
        AppendSizeEntry(stream, lengths.size());
        children.push_back(StreamNode(Widen(name), std::move(lengths)));
    }

    // The GUID, entry and string streams, and the mapping streams that find a property id from its
    // name: entries of name (or name checksum), index and kind, and property index, spread over 31
    // streams by hash.
    HRESULT AddNamedProperties(const std::vector<MsgNamedProperty>& named, Nodes& root)
    {
        const std::string where(kNameIdStorageName);
        Bytes guids;
        Bytes entries;
        Bytes strings;
        std::map<std::uint32_t, Bytes> mappings;
        std::set<std::uint16_t> ids;
        for (const MsgNamedProperty& property : named) {
            if (property.id < PROP_ID_NAMED_MIN || property.id > PROP_ID_NAMED_MAX)
                return Fail(where, "the named property id 0x" + Hex4(property.id) + " lies outside 0x8000 to 0xFFFE");
            if (!ids.insert(property.id).second)
                return Fail(where, "the named property id 0x" + Hex4(property.id) + " appears twice");
            const std::uint32_t guidIndex = GuidIndex(property.propertySet, guids);
            const auto indexAndKind = static_cast<std::uint16_t>(guidIndex << 1 | (property.isString ? 1 : 0));
            const auto propertyIndex = static_cast<std::uint16_t>(property.id - PROP_ID_NAMED_MIN);
            std::uint32_t key = property.lid;
            if (property.isString) {
                // Each name starts on a multiple of 4; nothing follows the last one.
                strings.resize((strings.size() + 3) / 4 * 4, 0);
                AppendU32(entries, static_cast<std::uint32_t>(strings.size()));
                Bytes name;
                AppendUtf16(name, property.name);
                key = NameChecksum(name);
                AppendU32(strings, static_cast<std::uint32_t>(name.size()));
                strings.insert(strings.end(), name.begin(), name.end());
            } else {
                AppendU32(entries, property.lid);
            }
            AppendU16(entries, indexAndKind);
            AppendU16(entries, propertyIndex);
            Bytes& mapping = mappings[0x1000 + (key ^ indexAndKind) % kMappingStreamCount];
            AppendU32(mapping, key);
            AppendU16(mapping, indexAndKind);
            AppendU16(mapping, propertyIndex);
        }
        Nodes storage;
        storage.push_back(StreamNode(Widen(kGuidStreamName), std::move(guids)));
        storage.push_back(StreamNode(Widen(kEntryStreamName), std::move(entries)));
        storage.push_back(StreamNode(Widen(kStringStreamName), std::move(strings)));
        for (auto& [streamId, mapping] : mappings)
            storage.push_back(StreamNode(ValueStreamName(streamId << 16 | PT_BINARY), std::move(mapping)));
        root.push_back(StorageNode(Widen(kNameIdStorageName), std::move(storage)));
        return S_OK;
    }

    // 1 and 2 for the two sets with fixed places, else 3 and up in the GUID stream, which takes
    // each other set once, in the order they first appear.
    static std::uint32_t GuidIndex(const Guid& set, Bytes& guids)
    {
        if (set == kPsMapi)
            return 1;
        if (set == kPsPublicStrings)
            return 2;
        const std::size_t count = guids.size() / 16;
        for (std::size_t i = 0; i < count; ++i) {
            if (std::equal(set.begin(), set.end(), guids.begin() + static_cast<std::ptrdiff_t>(16 * i)))
                return static_cast<std::uint32_t>(3 + i);
        }
        guids.insert(guids.end(), set.begin(), set.end());
        return static_cast<std::uint32_t>(3 + count);
    }

    std::string error_;
};

std::string NameFile(std::string_view name, std::string_view message)
{
    return std::string(name) + ": " + std::string(message);
}

// A file created under a temporary name; removed again unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (created_)
            ::unlink(path_.c_str());
    }

    // Creates the file from the pattern's trailing "XXXXXX", readable and writable by the owner only.
    HRESULT Create()
    {
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0)
            return HResultFromErrno(errno);
        created_ = true;
        return S_OK;
    }

    HRESULT Write(std::span<const std::uint8_t> bytes)
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return HResultFromErrno(errno);
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
        return S_OK;
    }

    // Flushes, closes and renames the file to `target`.
    HRESULT Commit(const std::string& target)
    {
        if (::fsync(fd_) != 0)
            return HResultFromErrno(errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            return HResultFromErrno(errno);
        if (::rename(path_.c_str(), target.c_str()) != 0)
            return HResultFromErrno(errno);
        created_ = false;
        return S_OK;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool created_ = false;
};

HRESULT SaveBytes(const std::string& path, std::span<const std::uint8_t> bytes)
{
    TemporaryFile file(path + ".XXXXXX");
    HRESULT hr = file.Create();
    if (SUCCEEDED(hr))
        hr = file.Write(bytes);
    if (SUCCEEDED(hr))
        hr = file.Commit(path);
    return hr;
}

} // namespace

HRESULT WriteMsgBytes(const MsgDocument& document, std::string_view name, std::vector<std::uint8_t>& bytes,
                      std::string& error)
{
    bytes.clear();
    error.clear();
    try {
        Nodes root;
        MsgBuilder builder;
        HRESULT hr = builder.Build(document, root);
        if (FAILED(hr)) {
            error = NameFile(name, builder.Error());
            return hr;
        }
        std::string layoutError;
        hr = WriteCompoundFile(root, bytes, layoutError);
        if (FAILED(hr))
            error = NameFile(name, layoutError);
        return hr;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        error = NameFile(name, "there is not enough memory to lay the message out");
        return E_OUTOFMEMORY;
    }
}

HRESULT WriteMsgFile(const std::string& path, const MsgDocument& document, std::string& error)
{
    std::vector<std::uint8_t> bytes;
    HRESULT hr = WriteMsgBytes(document, path, bytes, error);
    if (FAILED(hr))
        return hr;
    hr = SaveBytes(path, bytes);
    if (FAILED(hr))
        error = NameFile(path, std::string("cannot be written (") + std::strerror(hr & 0xFFFF) + ")");
    return hr;
}

} // namespace platform::cfb
