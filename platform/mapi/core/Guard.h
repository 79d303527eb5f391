// Keeps C++ exceptions inside the runtime: an interface method's body runs through Guard.
#pragma once

#include <new>

#include <mapidefs.h>

namespace mapi {

template <typename Body>
HRESULT Guard(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return MAPI_E_CALL_FAILED;
    }
}

} // namespace mapi
