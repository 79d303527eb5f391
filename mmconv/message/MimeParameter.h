// Parameters of MIME header fields (Content-Type, Content-Disposition), and the check of a media
// type taken from a message.
#pragma once

#include <string>
#include <string_view>

namespace mmconv {

// Appends ";" CR LF, a space and name="value" when the value is printable ASCII that fits on a
// line (quotes and backslashes escaped); otherwise the value's UTF-8 in the extended form
// name*=utf-8''... of RFC 2231, continued over numbered sections where it is long.
void AppendParameter(std::string& field, std::string_view name, std::u16string_view value);
// The same for a value known to be ASCII.
void AppendParameter(std::string& field, std::string_view name, std::string_view value);

// Whether text is a media type "type/subtype" of RFC 2045 tokens, with nothing else.
bool IsMediaType(std::string_view text);

} // namespace mmconv
