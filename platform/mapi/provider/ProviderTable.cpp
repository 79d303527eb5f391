// Rows of the provider's tables.
#include "platform/mapi/provider/ProviderTable.h"

#include <mapitags.h>
#include <mapiutil.h>

#include "platform/mapi/core/PropValues.h"

namespace mapi {

SPropValue RowValues::Long(ULONG tag, LONG value)
{
    SPropValue answer{};
    answer.ulPropTag = tag;
    answer.Value.l = value;
    return answer;
}

SPropValue RowValues::Boolean(ULONG tag, bool value)
{
    SPropValue answer{};
    answer.ulPropTag = tag;
    answer.Value.b = value ? 1 : 0;
    return answer;
}

SPropValue RowValues::Binary(ULONG tag, std::span<const BYTE> bytes)
{
    std::vector<BYTE>& kept = bytes_.emplace_back(bytes.begin(), bytes.end());
    SPropValue answer{};
    answer.ulPropTag = tag;
    answer.Value.bin = {static_cast<ULONG>(kept.size()), kept.data()};
    return answer;
}

SPropValue RowValues::Unicode(ULONG tag, std::u16string text)
{
    std::u16string& kept = texts_.emplace_back(std::move(text));
    SPropValue answer{};
    answer.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
    answer.Value.lpszW = kept.data();
    return answer;
}

SPropValue RowValues::InstanceKey(ULONG number)
{
    BYTE key[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                   static_cast<BYTE>(number >> 24)};
    return Binary(PR_INSTANCE_KEY, key);
}

std::vector<ULONG> ColumnsForFlags(std::initializer_list<ULONG> columns, ULONG flags)
{
    std::vector<ULONG> answer;
    for (ULONG tag : columns)
        answer.push_back(CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), flags)));
    return answer;
}

} // namespace mapi
