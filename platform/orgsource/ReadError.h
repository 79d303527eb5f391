// The failure the organisation reader carries from the place of a fault to its entry points.
#pragma once

#include <mapicode.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace platform::orgsource {

// Thrown inside the reader only; the entry points turn it into a status and a text.
struct ReadError {
    HRESULT status;
    std::string path;     // the JSON path, e.g. "mailboxes[2].folders[0]"; may be empty
    std::string message;  // what is wrong there
};

[[noreturn]] inline void Fail(HRESULT status, const std::string& path, const std::string& message)
{
    throw ReadError{status, path, message};
}

// Runs `body`, which reads from the file `name`; a fault in it becomes the status returned, with
// `error` naming the file, the place and what is wrong ("org.json: gal[2].dn: expected a string").
template <typename Body>
HRESULT CatchReadError(std::string_view name, std::string& error, Body&& body) noexcept
{
    try {
        body();
        return S_OK;
    } catch (const ReadError& e) {
        error = std::string(name) + ": " + (e.path.empty() ? "" : e.path + ": ") + e.message;
        return e.status;
    } catch (const std::bad_alloc&) {
        error = std::string(name) + ": out of memory";
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        error = std::string(name) + ": " + e.what();
        return E_FAIL;
    }
}

// "a.b", "a[3]": the path of a member or an element below `path`.
inline std::string MemberPath(const std::string& path, const std::string& member)
{
    return path.empty() ? member : path + "." + member;
}

inline std::string ElementPath(const std::string& path, std::size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

} // namespace platform::orgsource
