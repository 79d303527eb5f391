// The CRAM-MD5 response of RFC 2195: HMAC-MD5 (RFC 2104) of the server's challenge, keyed by the password.
#pragma once

#include "ex2qln/login/Secret.h"
#include "platform/base/HResult.h"

#include <cstddef>
#include <string_view>

namespace ex2qln::login {

// Longest decoded challenge that is answered.
inline constexpr std::size_t kCramMd5MaximumChallenge = 135;

// HMAC-MD5 of `message` keyed by `key`, as 32 lower-case hexadecimal digits; E_FAIL when the
// digest cannot be computed.
HRESULT HmacMd5Hex(std::string_view key, std::string_view message, Secret& digestHex);

// Base64 (no line breaks) of the login name, a blank and HMAC-MD5 of the decoded challenge keyed by
// the password. E_FAIL when the decoded challenge is longer than kCramMd5MaximumChallenge bytes.
HRESULT CramMd5Response(std::string_view loginName, std::string_view password, std::string_view challengeBase64,
                        Secret& response);

} // namespace ex2qln::login
