// CRAM-MD5 over OpenSSL's EVP MAC interface and the conversion library's Base64 codec.
#include "ex2qln/login/CramMd5.h"

#include "mmconv/encoding/Base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace ex2qln::login {

HRESULT HmacMd5Hex(std::string_view key, std::string_view message, Secret& digestHex)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    std::size_t digestSize = 0;
    // A key longer than the 64-byte MD5 block is replaced by its digest inside HMAC itself.
    if (EVP_Q_mac(nullptr, "HMAC", nullptr, "MD5", nullptr, key.data(), key.size(),
                  reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(),
                  digest.size(), &digestSize) == nullptr || digestSize != 16)
        return E_FAIL;
    static constexpr char kHexDigits[] = "0123456789abcdef";
    digestHex.Clear();
    for (std::size_t index = 0; index < digestSize; ++index) {
        digestHex.Append(kHexDigits[digest[index] >> 4]);
        digestHex.Append(kHexDigits[digest[index] & 0xF]);
    }
    return S_OK;
}

namespace {

bool IsBase64Letter(char character)
{
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
           (character >= '0' && character <= '9') || character == '+' || character == '/';
}

} // namespace

std::string_view CramMd5ChallengeFault(std::string_view challengeBase64)
{
    if (challengeBase64.empty())
        return "The server's CRAM-MD5 challenge is empty";
    const std::size_t letters = challengeBase64.find_last_not_of('=') + 1;
    const std::size_t padding = challengeBase64.size() - letters;
    const bool alphabet = std::all_of(challengeBase64.begin(), challengeBase64.begin() + letters, IsBase64Letter);
    // A last group of one letter carries no whole byte; padding, when present, completes the group.
    const bool grouped = letters % 4 != 1 && (padding == 0 || challengeBase64.size() % 4 == 0) && padding <= 2;
    if (letters == 0 || !alphabet || !grouped)
        return "The server's CRAM-MD5 challenge is not Base64";
    if (letters * 6 / 8 > kCramMd5MaximumChallenge)
        return "The server's CRAM-MD5 challenge is longer than 135 bytes";
    return {};
}

HRESULT CramMd5Response(std::string_view loginName, std::string_view password, std::string_view challengeBase64,
                        Secret& response)
{
    if (!CramMd5ChallengeFault(challengeBase64).empty())
        return E_FAIL;
    const std::size_t challengeSize = mmconv::Base64Decode(challengeBase64, {});
    std::array<std::uint8_t, kCramMd5MaximumChallenge> challenge{};
    mmconv::Base64Decode(challengeBase64, std::span(challenge).first(challengeSize));

    Secret digestHex;
    const HRESULT status = HmacMd5Hex(
        password, std::string_view(reinterpret_cast<const char*>(challenge.data()), challengeSize), digestHex);
    if (FAILED(status))
        return status;

    Secret plain;
    plain.Assign(loginName);
    plain.Append(' ');
    for (char digit : digestHex.View())
        plain.Append(digit);
    const auto plainBytes = std::span(reinterpret_cast<const std::uint8_t*>(plain.View().data()), plain.View().size());
    std::vector<char> encoded(mmconv::Base64Encode(plainBytes, {}));
    mmconv::Base64Encode(plainBytes, encoded);
    response.Assign(std::string_view(encoded.data(), encoded.size()));
    return S_OK;
}

} // namespace ex2qln::login
