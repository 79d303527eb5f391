// Typed reads of the server settings: the tag's own type is the only one accepted.
#include "ex2qln/login/SettingValues.h"

#include <algorithm>
#include <vector>

namespace ex2qln::login {

HRESULT SettingValues::Load(IMAPIProp* settings, std::initializer_list<ULONG> tags)
{
    values_.reset();
    count_ = 0;
    if (settings == nullptr)
        return E_INVALIDARG;
    std::vector<ULONG> tagArray(tags.size() + 1);
    tagArray[0] = static_cast<ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), tagArray.begin() + 1);
    const HRESULT status = settings->GetProps(reinterpret_cast<LPSPropTagArray>(tagArray.data()), 0, &count_,
                                              values_.put());
    if (FAILED(status)) {
        count_ = 0;
        return status;
    }
    return S_OK;
}

const SPropValue* SettingValues::Find(ULONG tag) const
{
    for (ULONG index = 0; index < count_; ++index) {
        if (values_.get()[index].ulPropTag == tag)
            return &values_.get()[index];
    }
    return nullptr;
}

std::optional<std::string> SettingValues::Text(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr || value->Value.lpszA == nullptr)
        return std::nullopt;
    return std::string(value->Value.lpszA);
}

std::optional<std::uint32_t> SettingValues::Number(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr)
        return std::nullopt;
    return static_cast<std::uint32_t>(value->Value.l);
}

std::optional<bool> SettingValues::Flag(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr)
        return std::nullopt;
    return value->Value.b != 0;
}

} // namespace ex2qln::login
