// QlnFindCertificate: certificates of the organisation file's stores found by the SHA-1 hash of
// their DER form, and the answers when a store, a certificate or the session is not there.
#include "tests/platform/mapi/provider/SessionTestSupport.h"

#include <QlnMapiExtras.h>

namespace sessiontest {
namespace {

// The SHA-1 hash of the bytes 30 03 02 01 05.
const std::vector<BYTE> kHash = {0x16, 0xC3, 0xC3, 0xE0, 0xBB, 0x5B, 0x5F, 0x4F, 0xBA, 0xEC, 0xDB, 0x6D, 0xF3, 0x7A,
    0x5A, 0x4F, 0x9D, 0x11, 0x96, 0xE4};

class CertificateStore : public SessionTest {};

TEST_F(CertificateStore, FoundByHashInTheNamedStore)
{
    const std::string path = WriteFile("org.json", R"({"certificateStores": {"addressbook": ["01", "30 03 02 01 05"]}})");
    MapiPtr<IMAPISession> session = Logon(path.c_str());
    ASSERT_TRUE(session);
    struct Case {
        const char* label;
        IMAPISession* session;
        const char* store;
        std::vector<BYTE> hash;
        HRESULT status;
        std::vector<BYTE> certificate;
    };
    std::vector<BYTE> otherHash = kHash;
    otherHash[0] ^= 1;
    const Case cases[] = {
        {"the certificate of that hash", session.get(), "AddressBook", kHash, S_OK, {0x30, 0x03, 0x02, 0x01, 0x05}},
        {"no certificate of that hash", session.get(), "addressbook", otherHash, MAPI_E_NOT_FOUND, {}},
        {"a hash that is no SHA-1 hash", session.get(), "addressbook", {1, 2, 3}, MAPI_E_NOT_FOUND, {}},
        {"a store the file does not have", session.get(), "my", kHash, MAPI_E_NOT_FOUND, {}},
        {"no session of this runtime", nullptr, "addressbook", kHash, MAPI_E_INVALID_PARAMETER, {}},
    };
    for (const Case& c : cases) {
        ULONG size = 0;
        MapiBuffer<BYTE> certificate;
        std::vector<BYTE> hash = c.hash;
        EXPECT_EQ(QlnFindCertificate(c.session, c.store, static_cast<ULONG>(hash.size()), hash.data(), &size,
                      certificate.put()),
            c.status)
            << c.label;
        EXPECT_EQ(std::vector<BYTE>(certificate.get(), certificate.get() + size), c.certificate) << c.label;
    }
}

} // namespace
} // namespace sessiontest
