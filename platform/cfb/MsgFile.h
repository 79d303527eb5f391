// Reading Outlook .msg files (a message in a compound file) into the plain model of MsgModel.h.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::cfb {

// Attachment data (PR_ATTACH_DATA_BIN) of at least this size read from a file stays there: the
// property holds a StreamedValue over the open file instead of the bytes.
inline constexpr std::uint64_t kStreamedValueMinimum = 64 * 1024;

// Reads the .msg file at `path`. A damaged named-property entry, recipient or attachment is left
// out and named in `document.leftOut`; the rest of the message is read. A file whose compound-file
// structure or top-level property stream is damaged gives MAPI_E_CORRUPT_DATA, an unreadable one the
// system error; `error` then names the file and says what is wrong.
HRESULT ReadMsgFile(const std::string& path, MsgDocument& document, std::string& error);

// The whole of a value kept in its file.
HRESULT ReadWhole(const StreamedValue& value, std::vector<std::uint8_t>& bytes);

// The same for a file already in memory, every value read into the model; `name` stands for the file in error texts.
HRESULT ReadMsgBytes(std::span<const std::uint8_t> bytes, std::string_view name, MsgDocument& document,
                     std::string& error);

} // namespace platform::cfb
