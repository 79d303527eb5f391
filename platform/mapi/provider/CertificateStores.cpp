// QlnFindCertificate: the certificate stores an organisation file provides, searched by the SHA-1
// hash of a certificate's DER form as the system certificate stores are.
#include <QlnMapiExtras.h>
#include <mapicode.h>
#include <mapix.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/provider/SessionObject.h"

namespace mapi {
namespace {

constexpr std::size_t kSha1Size = 20;

bool HasSha1(const std::vector<std::uint8_t>& certificate, std::span<const BYTE> hash)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    return EVP_Digest(certificate.data(), certificate.size(), digest, &length, EVP_sha1(), nullptr) == 1 &&
           length == hash.size() && std::memcmp(digest, hash.data(), length) == 0;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

} // namespace
} // namespace mapi

STDAPI QlnFindCertificate(LPMAPISESSION lpSession, LPCSTR lpszStore, ULONG cbHash, LPBYTE lpbHash,
                          ULONG* lpcbCertificate, LPBYTE* lppbCertificate)
{
    if (lpszStore == nullptr || lpbHash == nullptr || lpcbCertificate == nullptr || lppbCertificate == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lpcbCertificate = 0;
    *lppbCertificate = nullptr;
    const mapi::OrgContextPointer context = mapi::ContextOfSession(lpSession);
    if (!context)
        return MAPI_E_INVALID_PARAMETER;
    if (cbHash != mapi::kSha1Size)
        return MAPI_E_NOT_FOUND;
    return mapi::Guard([&]() -> HRESULT {
        const auto& stores = context->Org().certificateStores;
        const auto store = stores.find(mapi::Lower(lpszStore));
        if (store == stores.end())
            return MAPI_E_NOT_FOUND;
        const std::span<const BYTE> hash(lpbHash, cbHash);
        for (const std::vector<std::uint8_t>& certificate : store->second) {
            if (!mapi::HasSha1(certificate, hash))
                continue;
            LPVOID buffer = nullptr;
            if (HRESULT status = MAPIAllocateBuffer(static_cast<ULONG>(certificate.size()), &buffer); FAILED(status))
                return status;
            std::memcpy(buffer, certificate.data(), certificate.size());
            *lppbCertificate = static_cast<LPBYTE>(buffer);
            *lpcbCertificate = static_cast<ULONG>(certificate.size());
            return S_OK;
        }
        return MAPI_E_NOT_FOUND;
    });
}
