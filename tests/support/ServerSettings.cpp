// Server settings objects on the MAPI runtime's CreateIProp.
#include "tests/support/ServerSettings.h"

#include "ex2qln/mapi/ConnectorProperties.h"

#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <vector>

namespace testsupport {

MapiPtr<IPropData> MakeServerSettings(const ServerSettingsValues& values)
{
    namespace mapi = ex2qln::mapi;
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
    auto text = [&](ULONG tag, const std::optional<std::string>& value) {
        if (value)
            add(tag, [&](PV& pv) { pv.lpszA = const_cast<char*>(value->c_str()); });
    };
    auto flag = [&](ULONG tag, std::optional<bool> value) {
        if (value)
            add(tag, [&](PV& pv) { pv.b = *value ? 1 : 0; });
    };
    auto number = [&](ULONG tag, std::optional<std::uint32_t> value) {
        if (value)
            add(tag, [&](PV& pv) { pv.l = static_cast<LONG>(*value); });
    };
    text(mapi::kPropServerHost, values.host);
    text(mapi::kPropAccountName, values.account);
    text(mapi::kPropPassword, values.password);
    flag(mapi::kPropUseTls, values.useTls);
    flag(mapi::kPropSecureLogin, values.secureLogin);
    number(mapi::kPropCliPort, values.cliPort);
    number(mapi::kPropImapPort, values.imapPort);
    text(PR_BODY_A, values.trailer);
    if (settings && !props.empty()) {
        EXPECT_EQ(settings->SetProps(static_cast<ULONG>(props.size()), props.data(), nullptr), S_OK);
    }
    return settings;
}

std::optional<std::string> SettingText(IMAPIProp* settings, ULONG tag)
{
    LPSPropValue value = nullptr;
    if (FAILED(HrGetOneProp(settings, tag, &value)))
        return std::nullopt;
    MapiBuffer<SPropValue> owner(value);
    return std::string(value->Value.lpszA);
}

} // namespace testsupport
