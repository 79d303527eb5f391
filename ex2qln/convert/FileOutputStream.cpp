// A write-only IStream over a file descriptor.
#include "ex2qln/convert/FileOutputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

namespace ex2qln::convert {
namespace {

class FileOutputStream final : public IStream {
public:
    FileOutputStream(int descriptor, bool existed) : descriptor_(descriptor), existed_(existed) {}

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        if (ppvObj == nullptr)
            return E_INVALIDARG;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppvObj = this;
            AddRef();
            return S_OK;
        }
        *ppvObj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT Read(void*, ULONG, ULONG* pcbRead) override
    {
        if (pcbRead != nullptr)
            *pcbRead = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        ULONG done = 0;
        while (done < cb) {
            const ssize_t written = ::write(descriptor_, static_cast<const char*>(pv) + done, cb - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                if (pcbWritten != nullptr)
                    *pcbWritten = done;
                return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
            }
            done += static_cast<ULONG>(written);
        }
        size_ += done;
        if (pcbWritten != nullptr)
            *pcbWritten = done;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_INVALIDFUNCTION; }
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
    // Cuts what an earlier, longer file left behind (a file this stream created has nothing to cut).
    HRESULT Commit(DWORD) override
    {
        if (!existed_)
            return S_OK;
        return ::ftruncate(descriptor_, static_cast<off_t>(size_)) == 0 ? S_OK : STG_E_WRITEFAULT;
    }
    HRESULT Revert() override { return STG_E_INVALIDFUNCTION; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* pstatstg, DWORD) override
    {
        if (pstatstg == nullptr)
            return STG_E_INVALIDPOINTER;
        *pstatstg = STATSTG{};
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = size_;
        return S_OK;
    }
    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm != nullptr)
            *ppstm = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

private:
    ~FileOutputStream() { ::close(descriptor_); }

    int descriptor_;
    bool existed_;
    std::atomic<ULONG> references_{1};
    unsigned long long size_ = 0;
};

} // namespace

HRESULT OpenFileOutputStream(const std::string& path, IStream** stream)
{
    if (stream == nullptr)
        return E_INVALIDARG;
    *stream = nullptr;
    // Created afresh in one call where it is missing, as it mostly is.
    bool existed = false;
    int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno == EEXIST) {
        existed = true;
        descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    }
    if (descriptor < 0)
        return HResultFromErrno(errno);
    *stream = new (std::nothrow) FileOutputStream(descriptor, existed);
    if (*stream == nullptr) {
        ::close(descriptor);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace ex2qln::convert
