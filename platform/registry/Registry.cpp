// Registry keys over the per-user and machine registry files.
#include "platform/registry/Registry.h"

#include "platform/files/ConfigDirectory.h"
#include "platform/files/ReadOnlyMapping.h"
#include "platform/registry/MimeTypes.h"
#include "platform/registry/RegistryStore.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr std::string_view kClassesPrefix = "Software\\Classes";

// A file descriptor closed on every path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string DirectoryOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeDirectories(const std::string& directory)
{
    if (directory.empty() || directory == "/" || directory == ".")
        return true;
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    if (!MakeDirectories(DirectoryOf(directory)))
        return false;
    return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// The store's path inside its file: HKEY_CLASSES_ROOT lives under the machine's classes key.
std::string StorePath(RegistryRoot root, const std::string& path)
{
    if (root != RegistryRoot::ClassesRoot)
        return path;
    return path.empty() ? std::string(kClassesPrefix) : std::string(kClassesPrefix) + '\\' + path;
}

enum class FileState { Missing, Read, Unusable };

FileState ReadStore(const std::string& filePath, RegistryStore& store)
{
    ReadOnlyMapping mapping;
    HRESULT status = mapping.Open(filePath);
    if (status == HResultFromErrno(ENOENT))
        return FileState::Missing;
    if (FAILED(status))
        return FileState::Unusable;
    std::optional<RegistryStore> parsed =
        RegistryStore::Parse(std::string_view(mapping.Bytes().data(), mapping.Bytes().size()));
    if (!parsed)
        return FileState::Unusable;
    store = std::move(*parsed);
    return FileState::Read;
}

// What a reader sees: an unreadable or malformed file counts as empty.
RegistryStore LoadForReading(RegistryRoot root)
{
    RegistryStore store;
    ReadStore(RegistryFilePath(root), store);
    return store;
}

bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Replaces the file through a temporary file in the same directory, so that readers and a crash
// see either the old or the new file, never a part of one.
bool ReplaceFile(const std::string& filePath, std::string_view text, mode_t mode)
{
    std::string temporary = filePath + ".XXXXXX";
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.Get() < 0)
        return false;
    bool written = ::fchmod(fd.Get(), mode) == 0 && WriteAll(fd.Get(), text) && ::fsync(fd.Get()) == 0;
    bool closed = ::close(fd.Release()) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), filePath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Reads the current file, applies `change` and writes the result, holding a lock on the file's
// directory so that two writers never lose each other's change.
bool Modify(RegistryRoot root, const std::function<void(RegistryStore&)>& change)
{
    std::string filePath = RegistryFilePath(root);
    std::string directory = DirectoryOf(filePath);
    if (!MakeDirectories(directory))
        return false;
    FileDescriptor lock(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lock.Get() < 0 || ::flock(lock.Get(), LOCK_EX) != 0)
        return false;

    RegistryStore store;
    if (ReadStore(filePath, store) == FileState::Unusable)
        return false;
    change(store);

    // The user's file may hold profile secrets: private unless it already has other rights.
    mode_t mode = root == RegistryRoot::CurrentUser ? 0600 : 0644;
    struct stat info {};
    if (::stat(filePath.c_str(), &info) == 0)
        mode = info.st_mode & 07777;
    return ReplaceFile(filePath, store.Serialise(), mode);
}

const char* Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool IsExtensionKey(RegistryRoot root, std::string_view path)
{
    return root == RegistryRoot::ClassesRoot && path.size() > 1 && path.front() == '.' &&
           path.find('\\') == std::string_view::npos;
}

bool IsContentTypeName(std::string_view name)
{
    constexpr std::string_view kContentType = "content type";
    if (name.size() != kContentType.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kContentType[i])
            return false;
    }
    return true;
}

} // namespace

std::string RegistryFilePath(RegistryRoot root)
{
    if (root == RegistryRoot::CurrentUser) {
        if (const char* path = Environment("EX2QLN_USER_REGISTRY"))
            return path;
        return UserConfigDirectory() + "registry.ini";
    }
    if (const char* path = Environment("EX2QLN_MACHINE_REGISTRY"))
        return path;
    return MachineConfigDirectory() + "registry.ini";
}

std::string ExpandEnvironmentStrings(std::string_view text)
{
    std::string result;
    while (!text.empty()) {
        std::size_t open = text.find('%');
        std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            result += text;
            break;
        }
        std::string name(text.substr(open + 1, close - open - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (!value) {
            // Not a variable: keep the first "%" and look for a reference from the second one on.
            result += text.substr(0, close);
            text.remove_prefix(close);
            continue;
        }
        result += text.substr(0, open);
        result += value;
        text.remove_prefix(close + 1);
    }
    return result;
}

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, std::string_view path)
{
    std::optional<std::string> normalised = RegistryStore::NormalisedPath(path);
    if (!normalised)
        return std::nullopt;
    RegistryStore store = LoadForReading(root);
    if (store.FindKey(StorePath(root, *normalised)))
        return RegistryKey(root, std::move(*normalised), true);
    if (IsExtensionKey(root, *normalised) && ContentTypeForExtension(*normalised))
        return RegistryKey(root, std::move(*normalised), true);
    return std::nullopt;
}

RegistryKey RegistryKey::Create(RegistryRoot root, std::string_view path)
{
    std::optional<std::string> normalised = RegistryStore::NormalisedPath(path);
    if (!normalised)
        return RegistryKey(root, std::string(path), false);
    return RegistryKey(root, std::move(*normalised), true);
}

bool RegistryKey::DeleteKey(RegistryRoot root, std::string_view path)
{
    std::optional<std::string> normalised = RegistryStore::NormalisedPath(path);
    // The whole root is never deleted through a path that names no key.
    if (!normalised || normalised->empty())
        return false;
    std::string storePath = StorePath(root, *normalised);
    return Modify(root, [&](RegistryStore& store) { store.DeleteKey(storePath); });
}

std::optional<RegistryValue> RegistryKey::ReadValue(std::string_view name) const
{
    if (!valid_)
        return std::nullopt;
    RegistryStore store = LoadForReading(root_);
    if (const RegistryStore::Key* key = store.FindKey(StorePath(root_, path_))) {
        if (const RegistryStore::NamedValue* found = RegistryStore::FindValue(*key, name))
            return found->value;
    }
    if (IsExtensionKey(root_, path_) && IsContentTypeName(name)) {
        if (std::optional<std::string> type = ContentTypeForExtension(path_))
            return RegistryValue {RegistryValueType::String, std::move(*type), 0};
    }
    return std::nullopt;
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const
{
    std::optional<RegistryValue> value = ReadValue(name);
    if (!value || value->type != RegistryValueType::String)
        return std::nullopt;
    return std::move(value->text);
}

std::optional<std::uint32_t> RegistryKey::ReadDword(std::string_view name) const
{
    std::optional<RegistryValue> value = ReadValue(name);
    if (!value || value->type != RegistryValueType::Dword)
        return std::nullopt;
    return value->number;
}

std::vector<std::string> RegistryKey::ValueNames() const
{
    std::vector<std::string> names;
    if (!valid_)
        return names;
    RegistryStore store = LoadForReading(root_);
    if (const RegistryStore::Key* key = store.FindKey(StorePath(root_, path_))) {
        for (const RegistryStore::NamedValue& named : key->values)
            names.push_back(named.name);
    }
    return names;
}

std::vector<std::string> RegistryKey::SubkeyNames() const
{
    if (!valid_)
        return {};
    return LoadForReading(root_).SubkeyNames(StorePath(root_, path_));
}

bool RegistryKey::WriteValue(std::string_view name, const RegistryValue& value)
{
    if (!valid_)
        return false;
    std::string storePath = StorePath(root_, path_);
    return Modify(root_, [&](RegistryStore& store) { RegistryStore::SetValue(store.CreateKey(storePath), name, value); });
}

bool RegistryKey::WriteString(std::string_view name, std::string_view value)
{
    return WriteValue(name, RegistryValue {RegistryValueType::String, std::string(value), 0});
}

bool RegistryKey::WriteExpandString(std::string_view name, std::string_view value)
{
    return WriteValue(name, RegistryValue {RegistryValueType::ExpandString, std::string(value), 0});
}

bool RegistryKey::WriteDword(std::string_view name, std::uint32_t value)
{
    return WriteValue(name, RegistryValue {RegistryValueType::Dword, {}, value});
}

bool RegistryKey::WriteBinary(std::string_view name, std::span<const std::uint8_t> bytes)
{
    return WriteValue(name, RegistryValue {RegistryValueType::Binary, std::string(bytes.begin(), bytes.end()), 0});
}

bool RegistryKey::DeleteValue(std::string_view name)
{
    if (!valid_)
        return false;
    std::string storePath = StorePath(root_, path_);
    return Modify(root_, [&](RegistryStore& store) {
        if (store.FindKey(storePath))
            RegistryStore::DeleteValue(store.CreateKey(storePath), name);
    });
}

} // namespace platform
