// IStream on one property's value, as OpenProperty gives it.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include <MapiPtr.h>

#include "platform/mapi/core/StreamBase.h"

namespace mapi {

// Reads the value it was made with. A stream opened for writing also takes writes, and Commit
// hands everything it then holds to `store`, which puts it into the property.
class PropertyStream final : public StreamBase {
public:
    using Store = std::function<HRESULT(std::vector<BYTE> content)>;

    // `store` empty: a read-only stream.
    static HRESULT Create(std::span<const BYTE> content, Store store, LPSTREAM* result);

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    HRESULT SetSize(ULARGE_INTEGER libNewSize) override;
    HRESULT Commit(DWORD grfCommitFlags) override;
    HRESULT Revert() override;
    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT Clone(IStream** ppstm) override;

private:
    PropertyStream(MapiPtr<IStream> inner, Store store) : inner_(std::move(inner)), store_(std::move(store)) {}

    MapiPtr<IStream> inner_;
    Store store_;
};

} // namespace mapi
