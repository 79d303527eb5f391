// Writing Outlook .msg files (a message in a compound file) from the plain model of MsgModel.h.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::cfb {

// Writes `document` as a .msg file at `path`, replacing what is there. The file is written under a
// temporary name beside `path` with owner-only access and then renamed into place, so a failure
// leaves no partial file and a symbolic link at `path` is replaced, not followed. A document the
// format cannot hold gives E_INVALIDARG (or a structured-storage status from CompoundFileWriter.h),
// a file-system failure the system error; `error` then names the file and says what is wrong.
HRESULT WriteMsgFile(const std::string& path, const MsgDocument& document, std::string& error);

// The file image of `document`; `name` stands for the file in error texts.
//
// What the document must satisfy: property types that a .msg file holds (those ReadMsgFile reads),
// no tag twice in one property list, distinct recipient and attachment numbers within a message,
// an embedded message for every attachment whose attach method is 5, embedded messages nested at
// most 64 deep, and named-property ids from 0x8000 to 0xFFFE, each once. Objects other than
// embedded messages have no content in the model and are written as empty storages.
HRESULT WriteMsgBytes(const MsgDocument& document, std::string_view name, std::vector<std::uint8_t>& bytes,
                      std::string& error);

} // namespace platform::cfb
