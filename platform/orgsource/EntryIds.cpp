// Building and reading the entry identifier layouts described in EntryIds.h.
#include "platform/orgsource/EntryIds.h"

#include <algorithm>
#include <cctype>

#include <edkmdb.h>

#include "platform/base/LittleEndian.h"

namespace platform::orgsource {
namespace {

constexpr cfb::Guid kAddressBookProvider = MUIDEMSAB;
constexpr cfb::Guid kStoreWrapper = MUIDSTOREWRAP;
constexpr cfb::Guid kMailboxProvider = pbExchangeProviderPrimaryUserGuid;
constexpr cfb::Guid kPublicProvider = pbExchangeProviderPublicGuid;
constexpr std::string_view kStoreDll = "emsmdb.dll";
constexpr std::size_t kStoreDllField = 14;
constexpr std::uint32_t kWrappedMailbox = 0x0C;
constexpr std::uint32_t kWrappedPublic = 0x06;
constexpr std::uint16_t kFolderPrivate = 1;
constexpr std::uint16_t kFolderPublic = 3;
constexpr std::uint16_t kMessagePrivate = 7;
constexpr std::uint16_t kMessagePublic = 9;
constexpr std::size_t kFolderSize = 46;
constexpr std::size_t kMessageSize = 70;

void PutGuid(EntryId& out, const cfb::Guid& guid)
{
    out.insert(out.end(), guid.begin(), guid.end());
}

// The sizes of the entry identifiers made below, each taken in one allocation: flags, the store,
// the kind, then each of the folder and the message as its store and counter.
constexpr std::size_t kCounterSize = 8;
constexpr std::size_t kFolderEntryIdSize = 4 + 16 + 2 + 16 + kCounterSize;
constexpr std::size_t kMessageEntryIdSize = kFolderEntryIdSize + 16 + kCounterSize;

void PutCounter(EntryId& out, std::uint64_t counter)
{
    for (int shift = 40; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(counter >> shift));
    }
    AppendU16(out, 0);
}

void PutText(EntryId& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

std::uint16_t GetU16(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(GetU16(bytes, offset)) | (static_cast<std::uint32_t>(GetU16(bytes, offset + 2)) << 16);
}

cfb::Guid GetGuid(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    cfb::Guid guid{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), guid.size(), guid.begin());
    return guid;
}

std::uint64_t GetCounter(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    std::uint64_t counter = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        counter = (counter << 8) | bytes[offset + i];
    }
    return counter;
}

// A zero-terminated text at `offset`; nullopt when there is no terminator.
std::optional<std::string> GetText(std::span<const std::uint8_t> bytes, std::size_t& offset)
{
    auto end = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end(), 0);
    if (end == bytes.end()) {
        return std::nullopt;
    }
    std::string text(bytes.begin() + static_cast<std::ptrdiff_t>(offset), end);
    offset = static_cast<std::size_t>(end - bytes.begin()) + 1;
    return text;
}

bool AllZero(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::uint64_t Fnv1a(std::string_view text, std::uint64_t basis)
{
    std::uint64_t hash = basis;
    for (char c : text) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<ParsedEntryId> ParseAddressBook(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 29 || GetU32(bytes, 20) != 1) {
        return std::nullopt;
    }
    ParsedEntryId parsed;
    parsed.kind = EntryIdKind::AddressBook;
    parsed.displayType = GetU32(bytes, 24);
    std::size_t offset = 28;
    auto dn = GetText(bytes, offset);
    if (!dn || offset != bytes.size()) {
        return std::nullopt;
    }
    parsed.dn = std::move(*dn);
    return parsed;
}

std::optional<ParsedEntryId> ParseStore(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 61 || bytes[20] != 0 || bytes[21] != 0) {
        return std::nullopt;
    }
    ParsedEntryId parsed;
    parsed.kind = EntryIdKind::Store;
    cfb::Guid provider = GetGuid(bytes, 40);
    std::uint32_t wrappedType = GetU32(bytes, 56);
    if (provider == kMailboxProvider && wrappedType == kWrappedMailbox) {
        parsed.storeKind = StoreKind::Mailbox;
    } else if (provider == kPublicProvider && wrappedType == kWrappedPublic) {
        parsed.storeKind = StoreKind::PublicFolders;
    } else {
        return std::nullopt;
    }
    std::size_t offset = 60;
    auto server = GetText(bytes, offset);
    if (!server) {
        return std::nullopt;
    }
    parsed.serverName = std::move(*server);
    if (parsed.storeKind == StoreKind::Mailbox) {
        auto dn = GetText(bytes, offset);
        if (!dn) {
            return std::nullopt;
        }
        parsed.dn = std::move(*dn);
    }
    // Exchange may append further fields to a store identifier; they do not change the store.
    return parsed;
}

std::optional<ParsedEntryId> ParseFolderOrMessage(std::span<const std::uint8_t> bytes)
{
    ParsedEntryId parsed;
    parsed.storeGuid = GetGuid(bytes, 4);
    std::uint16_t type = GetU16(bytes, 20);
    if (GetGuid(bytes, 22) != parsed.storeGuid || !AllZero(bytes.subspan(44, 2))) {
        return std::nullopt;
    }
    parsed.folderCounter = GetCounter(bytes, 38);
    if (bytes.size() == kFolderSize && (type == kFolderPrivate || type == kFolderPublic)) {
        parsed.kind = EntryIdKind::Folder;
        parsed.storeKind = type == kFolderPrivate ? StoreKind::Mailbox : StoreKind::PublicFolders;
        return parsed;
    }
    if (bytes.size() != kMessageSize || (type != kMessagePrivate && type != kMessagePublic) ||
        GetGuid(bytes, 46) != parsed.storeGuid || !AllZero(bytes.subspan(68, 2))) {
        return std::nullopt;
    }
    parsed.kind = EntryIdKind::Message;
    parsed.storeKind = type == kMessagePrivate ? StoreKind::Mailbox : StoreKind::PublicFolders;
    parsed.messageCounter = GetCounter(bytes, 62);
    return parsed;
}

} // namespace

cfb::Guid AddressBookProviderUid()
{
    return kAddressBookProvider;
}

cfb::Guid StoreProviderUid(StoreKind kind)
{
    return kind == StoreKind::Mailbox ? kMailboxProvider : kPublicProvider;
}

EntryId MakeAddressBookEntryId(std::uint32_t displayType, std::string_view dn)
{
    EntryId out;
    AppendU32(out, 0);
    PutGuid(out, kAddressBookProvider);
    AppendU32(out, 1);
    AppendU32(out, displayType);
    PutText(out, dn);
    return out;
}

EntryId MakeStoreEntryId(StoreKind kind, std::string_view serverName, std::string_view mailboxDn)
{
    EntryId out;
    AppendU32(out, 0);
    PutGuid(out, kStoreWrapper);
    out.push_back(0);
    out.push_back(0);
    out.insert(out.end(), kStoreDll.begin(), kStoreDll.end());
    out.resize(out.size() + kStoreDllField - kStoreDll.size(), 0);
    AppendU32(out, 0);
    PutGuid(out, StoreProviderUid(kind));
    AppendU32(out, kind == StoreKind::Mailbox ? kWrappedMailbox : kWrappedPublic);
    PutText(out, serverName);
    if (kind == StoreKind::Mailbox) {
        PutText(out, mailboxDn);
    }
    return out;
}

EntryId MakeFolderEntryId(StoreKind kind, const cfb::Guid& storeGuid, std::uint64_t folderCounter)
{
    EntryId out;
    out.reserve(kFolderEntryIdSize);
    AppendU32(out, 0);
    PutGuid(out, storeGuid);
    AppendU16(out, kind == StoreKind::Mailbox ? kFolderPrivate : kFolderPublic);
    PutGuid(out, storeGuid);
    PutCounter(out, folderCounter);
    return out;
}

EntryId MakeMessageEntryId(StoreKind kind, const cfb::Guid& storeGuid, std::uint64_t folderCounter,
                           std::uint64_t messageCounter)
{
    EntryId out;
    out.reserve(kMessageEntryIdSize);
    AppendU32(out, 0);
    PutGuid(out, storeGuid);
    AppendU16(out, kind == StoreKind::Mailbox ? kMessagePrivate : kMessagePublic);
    PutGuid(out, storeGuid);
    PutCounter(out, folderCounter);
    PutGuid(out, storeGuid);
    PutCounter(out, messageCounter);
    return out;
}

std::optional<ParsedEntryId> ParseEntryId(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 24 || !AllZero(bytes.first(4))) {
        return std::nullopt;
    }
    cfb::Guid provider = GetGuid(bytes, 4);
    if (provider == kAddressBookProvider) {
        return ParseAddressBook(bytes);
    }
    if (provider == kStoreWrapper) {
        return ParseStore(bytes);
    }
    if (bytes.size() == kFolderSize || bytes.size() == kMessageSize) {
        return ParseFolderOrMessage(bytes);
    }
    return std::nullopt;
}

cfb::Guid StoreGuid(StoreKind kind, std::string_view mailboxDn)
{
    std::string key = kind == StoreKind::Mailbox ? "mailbox:" + Lower(mailboxDn) : std::string("public folders");
    std::uint64_t first = Fnv1a(key, 0xCBF29CE484222325ull);
    std::uint64_t second = Fnv1a(key, first);
    cfb::Guid guid{};
    for (std::size_t i = 0; i < 8; ++i) {
        guid[i] = static_cast<std::uint8_t>(first >> (8 * i));
        guid[i + 8] = static_cast<std::uint8_t>(second >> (8 * i));
    }
    return guid;
}

std::uint64_t CounterFromName(std::string_view name)
{
    std::uint64_t hash = Fnv1a(name, 0xCBF29CE484222325ull);
    std::uint64_t counter = (hash ^ (hash >> 48)) & 0xFFFFFFFFFFFFull;
    return counter == 0 ? 1 : counter;
}

std::string ServerNameFromDn(std::string_view dn)
{
    std::string lower = Lower(dn);
    constexpr std::string_view kServers = "/cn=servers/cn=";
    std::size_t start = lower.find(kServers);
    if (start == std::string::npos) {
        return {};
    }
    start += kServers.size();
    std::size_t end = dn.find('/', start);
    return std::string(dn.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

} // namespace platform::orgsource
