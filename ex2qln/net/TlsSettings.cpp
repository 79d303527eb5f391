// The process-wide default TLS settings.
#include "ex2qln/net/TlsSettings.h"

#include <mutex>

namespace ex2qln::net {
namespace {

std::mutex& DefaultsLock()
{
    static std::mutex lock;
    return lock;
}

TlsSettings& Defaults()
{
    static TlsSettings settings;
    return settings;
}

} // namespace

void SetDefaultTlsSettings(const TlsSettings& settings)
{
    const std::lock_guard guard(DefaultsLock());
    Defaults() = settings;
}

TlsSettings DefaultTlsSettings()
{
    const std::lock_guard guard(DefaultsLock());
    return Defaults();
}

} // namespace ex2qln::net
