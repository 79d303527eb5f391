// Export output files: opening, writing, and the check that nothing was lost on the way.
#include "ex2qln/directory/OutputFile.h"

#include <mapiwin.h>

#include <cerrno>

namespace ex2qln::directory {

OutputFile::~OutputFile()
{
    if (ownsFile_ && file_ != nullptr)
        std::fclose(file_);
}

HRESULT OutputFile::Open(std::optional<std::string_view> path)
{
    if (!path) {
        file_ = stdout;
        name_ = "standard output";
        return S_OK;
    }
    name_ = std::string(*path);
    file_ = std::fopen(name_.c_str(), "we");
    if (file_ == nullptr) {
        std::fprintf(stderr, "Can not open %s for writing.\n", name_.c_str());
        return E_ACCESSDENIED;
    }
    ownsFile_ = true;
    return S_OK;
}

void OutputFile::Write(std::string_view text)
{
    if (file_ == nullptr || text.empty() || writeError_ != 0)
        return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size())
        writeError_ = errno != 0 ? errno : EIO;
}

HRESULT OutputFile::Close()
{
    if (file_ == nullptr)
        return S_OK;
    const int flushed = ownsFile_ ? std::fclose(file_) : std::fflush(file_);
    if (flushed != 0 && writeError_ == 0)
        writeError_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    ownsFile_ = false;
    if (writeError_ == 0)
        return S_OK;
    const HRESULT status = HResultFromErrno(writeError_);
    std::fprintf(stderr, "Can not write %s [%#x].\n", name_.c_str(), static_cast<unsigned>(status));
    return status;
}

} // namespace ex2qln::directory
