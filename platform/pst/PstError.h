// The failure the data-file reader carries from the place of a fault to its entry points.
#pragma once

#include "platform/base/HResult.h"

#include <mapicode.h>

#include <exception>
#include <new>
#include <string>

namespace platform::pst {

// Thrown inside the reader only; the entry points turn it into a status and a text.
struct PstError {
    HRESULT status;
    std::string message;  // where in the file and what is wrong there
};

[[noreturn]] inline void Corrupt(const std::string& message)
{
    throw PstError{MAPI_E_CORRUPT_DATA, message};
}

// Runs `body`; a fault in it becomes the status returned, with `error` naming the file `name` first.
template <typename Body>
HRESULT CatchPstError(const std::string& name, std::string& error, Body&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (const PstError& e) {
        error = name + ": " + e.message;
        return e.status;
    } catch (const std::bad_alloc&) {
        error = name + ": out of memory";
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        error = name + ": " + e.what();
        return E_FAIL;
    }
}

} // namespace platform::pst
