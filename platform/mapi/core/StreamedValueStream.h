// A read-only IStream over a value that stays in its file (platform::cfb::StreamedValue): the data
// of a large attachment, read in the pieces its reader asks for.
#pragma once

#include <memory>

#include <MapiPtr.h>

#include "platform/cfb/MsgModel.h"
#include "platform/mapi/core/StreamBase.h"

namespace mapi {

class StreamedValueStream final : public StreamBase {
public:
    static HRESULT Create(std::shared_ptr<const platform::cfb::StreamedValue> value, LPSTREAM* result);

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    HRESULT SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT Commit(DWORD grfCommitFlags) override;
    HRESULT Revert() override;
    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT Clone(IStream** ppstm) override;

private:
    explicit StreamedValueStream(std::shared_ptr<const platform::cfb::StreamedValue> value) : value_(std::move(value)) {}

    std::shared_ptr<const platform::cfb::StreamedValue> value_;
    ULONGLONG position_ = 0;
};

} // namespace mapi
