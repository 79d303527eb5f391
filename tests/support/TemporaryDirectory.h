// Files for a test: a private directory removed with everything in it, and whole-file reads and writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh private directory under the system's temporary directory, removed with the object.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::filesystem::path operator/(std::string_view name) const { return std::filesystem::path(path_) / name; }
    // Writes `contents` as the file `name` in the directory; its path.
    std::string Write(const std::string& name, const std::string& contents) const;

private:
    std::string path_;
};

// The file's bytes from `offset` on; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path, std::uint64_t offset = 0);
void WriteFile(const std::filesystem::path& path, std::string_view contents);

} // namespace testsupport
