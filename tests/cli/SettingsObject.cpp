// Server settings objects for the CLI tests, on the MAPI runtime's CreateIProp.
#include "tests/cli/SettingsObject.h"

#include "ex2qln/mapi/ConnectorProperties.h"

#include <gtest/gtest.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <vector>

namespace ex2qln::cli::testing {

MapiPtr<IPropData> MakeServerSettings(const ServerSettingsValues& values)
{
    MapiPtr<IPropData> settings;
    EXPECT_EQ(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                          settings.put()),
              S_OK);
    std::vector<SPropValue> props;
    auto text = [&](ULONG tag, const std::optional<std::string>& value) {
        if (!value)
            return;
        SPropValue prop{};
        prop.ulPropTag = tag;
        prop.Value.lpszA = const_cast<char*>(value->c_str());
        props.push_back(prop);
    };
    auto flag = [&](ULONG tag, std::optional<bool> value) {
        if (!value)
            return;
        SPropValue prop{};
        prop.ulPropTag = tag;
        prop.Value.b = *value ? 1 : 0;
        props.push_back(prop);
    };
    text(mapi::kPropServerHost, values.host);
    text(mapi::kPropAccountName, values.account);
    text(mapi::kPropPassword, values.password);
    flag(mapi::kPropUseTls, values.useTls);
    flag(mapi::kPropSecureLogin, values.secureLogin);
    if (values.cliPort) {
        SPropValue prop{};
        prop.ulPropTag = mapi::kPropCliPort;
        prop.Value.l = static_cast<LONG>(*values.cliPort);
        props.push_back(prop);
    }
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

} // namespace ex2qln::cli::testing
