// OpenStreamOnFile: an IStream on a file, or on a new uniquely named file that can remove itself.
#include <mapiutil.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "platform/mapi/core/StreamBase.h"
#include "platform/files/TempDirectory.h"

namespace mapi {
namespace {

HRESULT StatusFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return MAPI_E_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return MAPI_E_NO_ACCESS;
    case ENOSPC:
        return STG_E_MEDIUMFULL;
    default:
        return HResultFromErrno(error);
    }
}

class FileStream final : public StreamBase {
public:
    FileStream(int descriptor, std::string path, bool deleteOnRelease, DWORD mode)
        : descriptor_(descriptor), path_(std::move(path)), deleteOnRelease_(deleteOnRelease), mode_(mode)
    {
    }

    ~FileStream() override
    {
        ::close(descriptor_);
        if (deleteOnRelease_)
            ::unlink(path_.c_str());
    }

    // The stream keeps its own position and reads and writes at it, so that a seek costs no call.
    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead != nullptr)
            *pcbRead = 0;
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < cb) {
            ssize_t got = ::pread(descriptor_, static_cast<char*>(pv) + done, cb - done, Offset(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return errno == EBADF ? STG_E_ACCESSDENIED : STG_E_READFAULT;
            if (got == 0)
                break;
            done += static_cast<ULONG>(got);
        }
        position_ += done;
        if (pcbRead != nullptr)
            *pcbRead = done;
        return S_OK;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr)
            *pcbWritten = 0;
        if (pv == nullptr && cb > 0)
            return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        HRESULT status = S_OK;
        while (done < cb) {
            ssize_t put = ::pwrite(descriptor_, static_cast<const char*>(pv) + done, cb - done, Offset(done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                status = errno == EBADF ? STG_E_ACCESSDENIED : (errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT);
                break;
            }
            done += static_cast<ULONG>(put);
        }
        position_ += done;
        if (pcbWritten != nullptr)
            *pcbWritten = done;
        return status;
    }

    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override
    {
        struct stat status{};
        if (dwOrigin == STREAM_SEEK_END && ::fstat(descriptor_, &status) != 0)
            return STG_E_SEEKERROR;
        ULONGLONG target = 0;
        HRESULT result = NewPosition(dlibMove, dwOrigin, position_, static_cast<ULONGLONG>(status.st_size), target);
        if (result != S_OK)
            return result;
        if (target > static_cast<ULONGLONG>(std::numeric_limits<off_t>::max()))
            return STG_E_SEEKERROR;
        position_ = target;
        if (plibNewPosition != nullptr)
            plibNewPosition->QuadPart = target;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER libNewSize) override
    {
        if (::ftruncate(descriptor_, static_cast<off_t>(libNewSize.QuadPart)) != 0)
            return errno == EBADF || errno == EINVAL ? STG_E_ACCESSDENIED : STG_E_MEDIUMFULL;
        return S_OK;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }

    // The name is not returned (as with STATFLAG_NONAME): the caller knows the path it gave.
    HRESULT Stat(STATSTG* pstatstg, DWORD) override
    {
        if (pstatstg == nullptr)
            return STG_E_INVALIDPOINTER;
        struct stat status{};
        if (::fstat(descriptor_, &status) != 0)
            return StatusFromErrno(errno);
        return FillStat(pstatstg, static_cast<ULONGLONG>(status.st_size), mode_);
    }

    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm != nullptr)
            *ppstm = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

private:
    off_t Offset(ULONG done) const { return static_cast<off_t>(position_ + done); }

    int descriptor_;
    std::string path_;
    bool deleteOnRelease_;
    DWORD mode_;
    ULONGLONG position_ = 0;
};

int OpenFlags(ULONG flags)
{
    int access = O_RDONLY;
    if ((flags & STGM_READWRITE) != 0)
        access = O_RDWR;
    else if ((flags & STGM_WRITE) != 0)
        access = O_WRONLY;
    return access | O_CLOEXEC;
}

} // namespace
} // namespace mapi

STDAPI OpenStreamOnFile(LPALLOCATEBUFFER, LPFREEBUFFER, ULONG ulFlags, LPCTSTR lpszFileName, LPCTSTR lpszPrefix,
                        LPSTREAM* lppStream)
{
    if (lppStream == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppStream = nullptr;
    int flags = mapi::OpenFlags(ulFlags);
    std::string path;
    int descriptor = -1;
    if ((ulFlags & SOF_UNIQUEFILENAME) != 0) {
        path = lpszFileName != nullptr && *lpszFileName != '\0' ? lpszFileName : platform::TempDirectory();
        if (path.back() != '/')
            path += '/';
        path += lpszPrefix != nullptr ? lpszPrefix : "";
        path += "XXXXXX";
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        descriptor = ::mkostemp(name.data(), O_CLOEXEC);
        path.assign(name.data());
    } else {
        if (lpszFileName == nullptr || *lpszFileName == '\0')
            return MAPI_E_INVALID_PARAMETER;
        path = lpszFileName;
        if ((ulFlags & STGM_CREATE) != 0)
            flags |= O_CREAT | O_TRUNC;
        descriptor = ::open(path.c_str(), flags, 0666);
    }
    if (descriptor < 0)
        return mapi::StatusFromErrno(errno);
    bool deleteOnRelease = (ulFlags & STGM_DELETEONRELEASE) != 0;
    auto* stream = new (std::nothrow)
        mapi::FileStream(descriptor, path, deleteOnRelease, ulFlags & ~SOF_UNIQUEFILENAME);
    if (stream == nullptr) {
        ::close(descriptor);
        if (deleteOnRelease)
            ::unlink(path.c_str());
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    *lppStream = stream;
    return S_OK;
}
