// Base64 decoded by the tests themselves, independently of the product's codec.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// The bytes of Base64 text; characters outside the alphabet (line breaks, padding) are skipped.
std::string DecodeBase64(std::string_view text);

} // namespace testsupport
