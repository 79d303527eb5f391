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

// Why the server's challenge (its Base64 text) is not answered, as an error text ("The server's
// CRAM-MD5 challenge is empty", "... is not Base64", "... is longer than 135 bytes"); empty when it
// is a challenge that can be answered. Base64 here is the alphabet of RFC 4648 and nothing else,
// with or without the "=" padding of the last group.
std::string_view CramMd5ChallengeFault(std::string_view challengeBase64);

// The error text when a challenge that passed that check still gets no response (the digest failed).
inline constexpr std::string_view kCramMd5NotAnswered = "The server's CRAM-MD5 challenge can not be answered";

// Base64 (no line breaks) of the login name, a blank and HMAC-MD5 of the decoded challenge keyed by
// the password. E_FAIL for a challenge that CramMd5ChallengeFault refuses.
HRESULT CramMd5Response(std::string_view loginName, std::string_view password, std::string_view challengeBase64,
                        Secret& response);

} // namespace ex2qln::login
