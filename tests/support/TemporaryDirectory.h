// Files for a test: a private directory removed with everything in it, and whole-file reads and writes.
#pragma once

#include <string>

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
    // Writes `contents` as the file `name` in the directory; its path.
    std::string Write(const std::string& name, const std::string& contents) const;

private:
    std::string path_;
};

// The file's bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

} // namespace testsupport
