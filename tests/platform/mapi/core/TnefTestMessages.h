// Messages for the TNEF tests: built as plain .msg documents, opened through the MAPI runtime as
// IMessage, and encoded with OpenTnefStreamEx.
#pragma once

#include "platform/locale/Utf16.h"
#include <MapiPtr.h>
#include <mapitags.h>
#include <tnef.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/cfb/MsgModel.h"

namespace tneftest {

using platform::cfb::MsgAttachment;
using platform::cfb::MsgDocument;
using platform::cfb::MsgMessage;
using platform::cfb::MsgProperty;

MsgProperty Text(std::uint32_t tag, std::u16string text);
MsgProperty Ansi(std::uint32_t tag, std::string text);
MsgProperty Integer(std::uint32_t tag, std::int64_t value);
MsgProperty Real(std::uint32_t tag, double value);
MsgProperty Bytes(std::uint32_t tag, std::vector<std::uint8_t> bytes);
MsgProperty Texts(std::uint32_t tag, std::vector<std::u16string> texts);
MsgProperty Integers(std::uint32_t tag, std::vector<std::int64_t> values);
MsgProperty ByteValues(std::uint32_t tag, std::vector<std::vector<std::uint8_t>> values);

// A file attachment (method 1) with these names and bytes.
MsgAttachment FileAttachment(std::uint32_t number, std::u16string longName, std::u16string shortName,
                             std::vector<std::uint8_t> data);
// An embedded message (method 5).
MsgAttachment EmbeddedAttachment(std::uint32_t number, std::u16string displayName, MsgMessage message);
// A recipient row of this type (MAPI_TO, ...).
platform::cfb::MsgRecipient Recipient(std::uint32_t number, std::u16string name, std::u16string address,
                                      std::uint32_t type);

// Writes the document as a .msg file in `directory` and opens it; fails the test on an error.
MapiPtr<IMessage> OpenDocument(const MsgDocument& document, const std::filesystem::path& directory);

// Encodes `message` as the conversion does: TNEF_ENCODE | TNEF_PURE, every property except the
// `excluded` tags, the recipient table, and every attachment (even when PR_MESSAGE_ATTACHMENTS
// is excluded). Returns the stream's bytes; the
// status of the first failing call goes to `status`.
std::vector<std::uint8_t> EncodeMessage(IMessage* message, const std::vector<ULONG>& excluded, HRESULT& status,
                                        WORD key = 1);


} // namespace tneftest
