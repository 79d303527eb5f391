// GetLastError of the runtime's provider objects: the text of an object's last failure, given as a
// MAPIERROR.
#pragma once

#include <mutex>
#include <string>

#include <mapidefs.h>

namespace mapi {

// A MAPIERROR for `text` in one MAPI buffer, its strings in the form `flags` asks for; no error
// (a null pointer) for an empty text.
HRESULT GiveError(const std::string& text, ULONG flags, LPMAPIERROR* lppMAPIError);

// The text an object's GetLastError gives: set by each call that keeps it, safe from several threads.
class LastError {
public:
    void Set(std::string text)
    {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }

    HRESULT Give(ULONG flags, LPMAPIERROR* lppMAPIError) const
    {
        std::lock_guard lock(mutex_);
        return GiveError(text_, flags, lppMAPIError);
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

} // namespace mapi
