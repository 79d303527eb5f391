// Reading a few typed values from the server settings object in one GetProps call.
#pragma once

#include "platform/base/HResult.h"

#include <MapiPtr.h>
#include <mapidefs.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

namespace ex2qln::login {

class SettingValues {
public:
    // Fetches `tags` from `settings`; values that are missing or of another type read as absent.
    HRESULT Load(IMAPIProp* settings, std::initializer_list<ULONG> tags);

    std::optional<std::string> Text(ULONG tag) const;
    std::optional<std::uint32_t> Number(ULONG tag) const;
    std::optional<bool> Flag(ULONG tag) const;

private:
    const SPropValue* Find(ULONG tag) const;

    MapiBuffer<SPropValue> values_;
    ULONG count_ = 0;
};

} // namespace ex2qln::login
