// The failure the organisation reader carries from the place of a fault to its entry points.
#pragma once

#include <mapicode.h>

#include <string>

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
