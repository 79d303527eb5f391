// The upload: conversion into a temporary stream, then APPEND with the stream's bytes in 4 KiB pieces.
#include "ex2qln/transfer/MessageUpload.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/transfer/ConfigProp.h"
#include "ex2qln/transfer/TempStream.h"
#include "mmconv/MMConv.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>

#include <array>
#include <cstdio>
#include <ctime>

namespace ex2qln::transfer {
namespace {

constexpr std::int32_t kIconReplied = 0x105;
constexpr std::int32_t kIconForwarded = 0x106;
constexpr std::int32_t kFlagStatusFlagged = 2;
constexpr ULONG kConversionExport = 0x01;
constexpr ULONG kChunkSize = 4096;
// FILETIME ticks (100 ns) between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::optional<std::int32_t> LongValue(const SPropValue& value, ULONG tag)
{
    if (value.ulPropTag != tag)
        return std::nullopt;
    return static_cast<std::int32_t>(value.Value.l);
}

// The state flags and the delivery time, read in one GetProps.
struct UploadProperties {
    std::string flags;
    std::string datePart;
};

HRESULT ReadUploadProperties(IMessage* message, UploadProperties& properties)
{
    SizedSPropTagArray(4, tags) = {4, {PR_ICON_INDEX, PR_FLAG_STATUS, PR_MESSAGE_FLAGS, PR_MESSAGE_DELIVERY_TIME}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT status = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put());
    // What cannot be read adds nothing: a message without any of them is uploaded all the same.
    if (FAILED(status) || count != 4)
        return S_OK;
    properties.flags = AppendFlagWords(LongValue(values[0], PR_ICON_INDEX), LongValue(values[1], PR_FLAG_STATUS),
                                       LongValue(values[2], PR_MESSAGE_FLAGS));
    if (values[3].ulPropTag == PR_MESSAGE_DELIVERY_TIME) {
        if (std::optional<std::string> date = InternalDate(values[3].Value.ft))
            properties.datePart = " \"" + *date + "\"";
    }
    return S_OK;
}

HRESULT Convert(IMessage* message, IStream* stream, IMAPISession* session, IPropData* settings, ULONG& size)
{
    CConfigProp config(settings, settings);
    HRESULT status = mmconv::MapiToMime(message, stream, session, &config, kConversionExport);
    if (FAILED(status))
        return status;
    LARGE_INTEGER start{};
    status = QLN_CHECK(stream->Seek(start, STREAM_SEEK_SET, nullptr));
    STATSTG stat{};
    if (SUCCEEDED(status))
        status = QLN_CHECK(stream->Stat(&stat, STATFLAG_NONAME));
    if (FAILED(status))
        return status;
    // Literals longer than 4 GiB are not sent; the stream cannot hold them anyway.
    if (stat.cbSize.QuadPart > 0xFFFFFFFFull)
        return MAPI_E_TOO_BIG;
    size = static_cast<ULONG>(stat.cbSize.QuadPart);
    return S_OK;
}

// The literal's bytes in pieces, then the CR LF that ends the command line.
HRESULT SendLiteralPieces(imap::CImapXP& client, IStream* stream)
{
    std::array<char, kChunkSize> chunk;
    for (;;) {
        ULONG read = 0;
        if (HRESULT status = QLN_CHECK(stream->Read(chunk.data(), kChunkSize, &read)); FAILED(status))
            return status;
        if (read == 0)
            break;
        if (HRESULT status = client.SendRaw(std::string_view(chunk.data(), read)); FAILED(status))
            return status;
    }
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("<<<<<< %s", "\r\n");
    return client.SendRaw("\r\n");
}

HRESULT SendLiteral(imap::CImapXP& client, IStream* stream)
{
    client.HoldOutput();
    const HRESULT status = SendLiteralPieces(client, stream);
    const HRESULT sent = client.SendHeldOutput();
    return FAILED(status) ? status : sent;
}

// The UID of [APPENDUID] in the tagged answer, 0 when the server gave none.
std::uint32_t AppendedUid(const imap::ImapRecords& answer)
{
    for (const imap::ImapRecord& record : answer) {
        if (const SPropValue* uid = imap::FindProperty(record, imap::kPropAppendUid))
            return static_cast<std::uint32_t>(uid->Value.ul);
    }
    return 0;
}

} // namespace

std::string AppendFlagWords(std::optional<std::int32_t> iconIndex, std::optional<std::int32_t> flagStatus,
                            std::optional<std::int32_t> messageFlags)
{
    std::string words;
    const auto add = [&](const char* word) {
        if (!words.empty())
            words += ' ';
        words += word;
    };
    if (iconIndex == kIconReplied)
        add("\\Answered");
    if (iconIndex == kIconForwarded)
        add("Forwarded");
    if (flagStatus == kFlagStatusFlagged)
        add("\\Flagged");
    if (messageFlags && (*messageFlags & MSGFLAG_READ) != 0)
        add("\\Seen");
    if (messageFlags && (*messageFlags & MSGFLAG_UNSENT) != 0)
        add("\\Draft");
    return words;
}

std::optional<std::string> InternalDate(const FILETIME& time)
{
    const std::int64_t ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
                                                         time.dwLowDateTime);
    if (ticks < 0)
        return std::nullopt;
    const std::int64_t sinceEpoch = ticks - kUnixEpochTicks;
    std::int64_t seconds = sinceEpoch / 10000000;
    if (sinceEpoch % 10000000 < 0)
        --seconds;  // whole seconds, rounded down also before 1970
    const std::time_t unixTime = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&unixTime, &parts) == nullptr)
        return std::nullopt;
    const int year = parts.tm_year + 1900;
    if (year < 1 || year > 9999)
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d +0000", parts.tm_mday, kMonths[parts.tm_mon], year,
                  parts.tm_hour, parts.tm_min, parts.tm_sec);
    return std::string(text);
}

std::string QuotedImapText(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size());
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted;
}

HRESULT UploadMessage(imap::CImapXP& client, IPropData* settings, std::string_view folder, IMAPISession* session,
                      IMessage* message, std::uint64_t* bytes, const UploadJournalHooks* hooks, SpillFile* spill)
{
    if (bytes != nullptr)
        *bytes = 0;
    MapiPtr<IStream> stream;
    HRESULT status = CreateTempStream(MAPIAllocateBuffer, MAPIFreeBuffer, true, stream.put(), spill);
    if (FAILED(status))
        return status;
    ULONG size = 0;
    status = Convert(message, stream.get(), session, settings, size);
    if (FAILED(status))
        return status;
    UploadProperties properties;
    ReadUploadProperties(message, properties);
    if (hooks != nullptr && hooks->beforeAppend) {
        if (status = hooks->beforeAppend(size); FAILED(status))
            return status;
    }

    status = client.SendCommand("APPEND \"%s\" (%s)%s {%u}", QuotedImapText(folder).c_str(), properties.flags.c_str(),
                                properties.datePart.c_str(), static_cast<unsigned>(size));
    if (SUCCEEDED(status))
        status = client.ReadReply(nullptr, 0, nullptr);
    if (FAILED(status))
        return status;
    // A tagged answer in place of the go-ahead: the server took the command without its data.
    if (status != 1)
        return MAPI_E_EXTENDED_ERROR;
    status = SendLiteral(client, stream.get());
    if (FAILED(status)) {
        // The server still waits for the rest of the literal: the connection cannot go on.
        client.Disconnect();
        return status;
    }
    imap::ImapRecords answer;
    status = client.ReadReply(nullptr, imap::KeepBit(imap::kKindOk), hooks != nullptr ? &answer : nullptr);
    if (SUCCEEDED(status) && hooks != nullptr && hooks->appendedUid != nullptr)
        *hooks->appendedUid = AppendedUid(answer);
    if (SUCCEEDED(status) && bytes != nullptr)
        *bytes = size;
    return FAILED(status) ? status : S_OK;
}

} // namespace ex2qln::transfer
