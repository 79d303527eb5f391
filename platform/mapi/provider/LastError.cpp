// MAPIERROR answers of the provider's objects.
#include "platform/mapi/provider/LastError.h"

#include <mapix.h>

#include <cstring>

#include "platform/mapi/core/StringForms.h"

namespace mapi {

HRESULT GiveError(const std::string& text, ULONG flags, LPMAPIERROR* lppMAPIError)
{
    if (lppMAPIError == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppMAPIError = nullptr;
    if (text.empty())
        return S_OK;
    void* buffer = nullptr;
    SCODE status = MAPIAllocateBuffer(sizeof(MAPIERROR), &buffer);
    if (status != S_OK)
        return status;
    auto* error = static_cast<LPMAPIERROR>(buffer);
    *error = MAPIERROR{MAPI_ERROR_VERSION, nullptr, nullptr, 0, 0};
    auto copy = [&](const std::string& value, LPTSTR& target) -> SCODE {
        std::u16string wide = AnsiToUtf16(value);
        bool unicode = (flags & MAPI_UNICODE) != 0;
        std::size_t size = unicode ? (wide.size() + 1) * sizeof(WCHAR) : value.size() + 1;
        void* place = nullptr;
        SCODE allocated = MAPIAllocateMore(static_cast<ULONG>(size), buffer, &place);
        if (allocated != S_OK)
            return allocated;
        std::memcpy(place, unicode ? static_cast<const void*>(wide.c_str()) : value.c_str(), size);
        target = static_cast<LPTSTR>(place);
        return S_OK;
    };
    status = copy(text, error->lpszError);
    if (status == S_OK)
        status = copy("qlnmapi", error->lpszComponent);
    if (status != S_OK) {
        MAPIFreeBuffer(buffer);
        return status;
    }
    *lppMAPIError = error;
    return S_OK;
}

} // namespace mapi
