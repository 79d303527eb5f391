// Content types by file extension from the system's MIME type list.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The list's path: $EX2QLN_MIME_TYPES, else /etc/mime.types.
std::string MimeTypesFilePath();

// The content type of `extension` ("pdf" or ".pdf", compared without case); nullopt when the list
// does not name it or cannot be read.
std::optional<std::string> ContentTypeForExtension(std::string_view extension);

} // namespace platform
