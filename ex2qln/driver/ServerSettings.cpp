// Building the server settings from --server, --account, --pwd and --ssl.
#include "ex2qln/driver/ServerSettings.h"

#include "ex2qln/driver/ServerAddress.h"
#include "ex2qln/mapi/ConnectorProperties.h"

namespace ex2qln::driver {
namespace {

SPropValue StringValue(std::uint32_t tag, const std::string& text)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszA = const_cast<char*>(text.c_str());
    return value;
}

SPropValue NumberValue(std::uint32_t tag, std::int32_t number)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.l = number;
    return value;
}

SPropValue BooleanValue(std::uint32_t tag, bool flag)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.b = flag ? 1 : 0;
    return value;
}

const std::string kDefaultAdministrator = "postmaster";

} // namespace

std::array<SPropValue, 7> ServerSettingValues(const RunSettings& settings, std::string& host)
{
    ServerAddress address = ParseServerAddress(settings.server.value_or(""));
    host = address.host;
    SPropValue password{};
    password.ulPropTag = PR_NULL;
    if (settings.password)
        password = StringValue(mapi::kPropPassword, *settings.password);
    return {
        StringValue(mapi::kPropServerHost, host),
        StringValue(mapi::kPropAccountName, settings.adminAccount ? *settings.adminAccount : kDefaultAdministrator),
        password,
        BooleanValue(mapi::kPropUseTls, settings.useTls),
        NumberValue(mapi::kPropImapPort, address.imapPort),
        NumberValue(mapi::kPropCliPort, address.cliPort),
        BooleanValue(mapi::kPropNoProgressWindow, true),
    };
}

HRESULT StoreServerSettings(IPropData* target, const RunSettings& settings)
{
    std::string host;
    std::array<SPropValue, 7> values = ServerSettingValues(settings, host);
    return target->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr);
}

} // namespace ex2qln::driver
