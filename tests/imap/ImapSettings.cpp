// Filling and reading the IMAP client's settings object.
#include "tests/imap/ImapSettings.h"

#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/mapi/ConnectorProperties.h"

#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapiutil.h>

#include <vector>

namespace ex2qln::imap::testing {

MapiPtr<IPropData> MakeSettings(std::uint32_t port, const ImapSettings& values)
{
    MapiPtr<IPropData> settings;
    EXPECT_EQ(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                          settings.put()),
              S_OK);
    std::vector<SPropValue> props;
    auto add = [&](ULONG tag, auto fill) {
        SPropValue prop{};
        prop.ulPropTag = tag;
        fill(prop.Value);
        props.push_back(prop);
    };
    const std::string account = "postmaster";
    add(mapi::kPropAccountName, [&](PV& value) { value.lpszA = const_cast<char*>(account.c_str()); });
    add(mapi::kPropImapPort, [&](PV& value) { value.l = static_cast<LONG>(port); });
    if (values.host)
        add(mapi::kPropServerHost, [&](PV& value) { value.lpszA = const_cast<char*>(values.host->c_str()); });
    if (values.password)
        add(mapi::kPropPassword, [&](PV& value) { value.lpszA = const_cast<char*>(values.password->c_str()); });
    if (values.useTls)
        add(mapi::kPropUseTls, [&](PV& value) { value.b = *values.useTls; });
    if (values.secureLogin)
        add(mapi::kPropSecureLogin, [&](PV& value) { value.b = *values.secureLogin; });
    if (values.trailer)
        add(kPropBody, [&](PV& value) { value.lpszA = const_cast<char*>(values.trailer->c_str()); });
    if (settings) {
        EXPECT_EQ(settings->SetProps(static_cast<ULONG>(props.size()), props.data(), nullptr), S_OK);
    }
    return settings;
}

std::optional<std::string> SettingText(IMAPIProp* settings, ULONG tag)
{
    LPSPropValue value = nullptr;
    if (FAILED(HrGetOneProp(settings, tag, &value)))
        return std::nullopt;
    std::string text = value->Value.lpszA;
    MAPIFreeBuffer(value);
    return text;
}

} // namespace ex2qln::imap::testing
