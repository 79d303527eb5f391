// Where an export writes: a file it creates, or standard output.
#pragma once

#include "platform/base/HResult.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace ex2qln::directory {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Creates (or empties) the file, or takes standard output when no path is given. Writes
    // "Can not open %s for writing.\n" to standard error and returns E_ACCESSDENIED on failure.
    HRESULT Open(std::optional<std::string_view> path);

    void Write(std::string_view text);

    // Closes the file (flushes standard output) and says whether every byte was written: on a
    // failure "Can not write %s [%#x].\n" goes to standard error and the system error comes back.
    HRESULT Close();

    const std::string& Name() const { return name_; }

private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    int writeError_ = 0;  // the first failed write's errno
    std::string name_;
};

} // namespace ex2qln::directory
