// The process-wide MAPI module: found by the library search, exchanged atomically.
#include "ex2qln/mapi/MapiBinding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <string>

#include "platform/registry/Registry.h"

#include "InstallLayout.h"

namespace ex2qln::mapi {
namespace {

constexpr const char* kLibraryName = "libqlnmapi.so";
constexpr const char* kMailClientsKey = "Software\\Clients\\Mail";
constexpr const char* kOutlookClient = "Microsoft Outlook";
// Asks for Outlook's client by name instead of the default one; this program never does.
constexpr bool kForceOutlook = false;

std::atomic<void*> currentModule{nullptr};
std::atomic<std::uint32_t> generation{0};

void* Load(const std::string& path)
{
    if (path.empty())
        return nullptr;
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// The library of the default mail client in the machine registry. (Windows first asks the
// installer for the client's component path; Linux has no installer database, so that step
// does not exist here.)
void* LoadDefaultMailClient()
{
    std::optional<platform::RegistryKey> clients = platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine,
                                                                                kMailClientsKey);
    if (!clients)
        return nullptr;
    std::string clientName;
    if (kForceOutlook) {
        clientName = kOutlookClient;
    } else {
        std::optional<std::string> defaultClient = clients->ReadString("");
        if (!defaultClient || defaultClient->empty())
            return nullptr;
        clientName = *defaultClient;
    }
    std::optional<platform::RegistryKey> client = platform::RegistryKey::Open(
        platform::RegistryRoot::LocalMachine, std::string(kMailClientsKey) + "\\" + clientName);
    if (!client)
        return nullptr;
    if (std::optional<platform::RegistryValue> pathEx = client->ReadValue("DllPathEx")) {
        if (pathEx->type == platform::RegistryValueType::ExpandString)
            return Load(platform::ExpandEnvironmentStrings(pathEx->text));
        if (pathEx->type == platform::RegistryValueType::String)
            return Load(pathEx->text);
    }
    std::optional<std::string> path = client->ReadString("DllPath");
    return path ? Load(*path) : nullptr;
}

// The installation's own runtime: ../lib/<multiarch>/ex2qln/libqlnmapi.so from the program's directory.
void* LoadInstalledLibrary()
{
    char program[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
    if (length <= 0)
        return nullptr;
    std::string path(program, static_cast<std::size_t>(length));
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return nullptr;
    path.resize(slash);
    return Load(path + "/" + layout::kRuntimeFromPrograms + "/" + kLibraryName);
}

void* SearchLibrary()
{
    if (void* loaded = dlopen(kLibraryName, RTLD_NOW | RTLD_NOLOAD))
        return loaded;
    if (void* client = LoadDefaultMailClient())
        return client;
    if (kForceOutlook)
        return nullptr;
    return LoadInstalledLibrary();
}

// Makes `module` the current one unless another thread set one first; that one is kept and
// `module` unloaded. Either way the generation moves on.
void* SetModule(void* module)
{
    void* expected = nullptr;
    if (!currentModule.compare_exchange_strong(expected, module)) {
        dlclose(module);
        module = expected;
    }
    generation.fetch_add(1);
    return module;
}

} // namespace

void* MapiModule()
{
    if (void* module = currentModule.load())
        return module;
    void* found = SearchLibrary();
    return found == nullptr ? nullptr : SetModule(found);
}

bool PreloadMapiLibrary(const std::string& path)
{
    void* module = Load(path);
    if (module == nullptr)
        return false;
    SetModule(module);
    return true;
}

void ClearMapiModule()
{
    void* module = currentModule.exchange(nullptr);
    generation.fetch_add(1);
    if (module != nullptr)
        dlclose(module);
}

std::uint32_t MapiModuleGeneration() { return generation.load(); }

} // namespace ex2qln::mapi
