// MAPI allocation chains: every buffer starts with a header; buffers from MAPIAllocateMore hang
// on the chain of their root and go when the root is freed.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include <mapix.h>

namespace {

constexpr std::uint32_t kRootMagic = 0x4D415049;  // "MAPI"
constexpr std::uint32_t kMoreMagic = 0x4D4F5245;  // "MORE"

struct alignas(16) BlockHeader {
    std::uint32_t magic;
    BlockHeader* root;                     // the chain's first block (itself for a root)
    std::atomic<BlockHeader*> nextMore;    // roots: the chained blocks, newest first
    BlockHeader* next;                     // chained blocks: the one added before it
};
static_assert(sizeof(BlockHeader) % alignof(std::max_align_t) == 0);

BlockHeader* HeaderOf(LPVOID buffer) { return static_cast<BlockHeader*>(buffer) - 1; }

BlockHeader* NewBlock(ULONG size, std::uint32_t magic)
{
    void* memory = std::malloc(sizeof(BlockHeader) + size);
    if (memory == nullptr)
        return nullptr;
    auto* header = new (memory) BlockHeader{magic, nullptr, {nullptr}, nullptr};
    header->root = header;
    return header;
}

} // namespace

STDAPI_(SCODE) MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    if (lppBuffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    BlockHeader* header = NewBlock(cbSize, kRootMagic);
    if (header == nullptr)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    *lppBuffer = header + 1;
    return S_OK;
}

STDAPI_(SCODE) MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    if (lppBuffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppBuffer = nullptr;
    if (lpObject == nullptr)
        return MAPIAllocateBuffer(cbSize, lppBuffer);
    BlockHeader* parent = HeaderOf(lpObject);
    if (parent->magic != kRootMagic && parent->magic != kMoreMagic)
        return MAPI_E_INVALID_PARAMETER;
    BlockHeader* root = parent->root;
    BlockHeader* header = NewBlock(cbSize, kMoreMagic);
    if (header == nullptr)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    header->root = root;
    header->next = root->nextMore.load();
    while (!root->nextMore.compare_exchange_weak(header->next, header)) {
    }
    *lppBuffer = header + 1;
    return S_OK;
}

STDAPI_(ULONG) MAPIFreeBuffer(LPVOID lpBuffer)
{
    if (lpBuffer == nullptr)
        return S_OK;
    BlockHeader* root = HeaderOf(lpBuffer);
    // A chained buffer goes with its root; freeing it alone would leave the root's chain dangling.
    if (root->magic != kRootMagic)
        return S_OK;
    BlockHeader* more = root->nextMore.load();
    while (more != nullptr) {
        BlockHeader* next = more->next;
        more->magic = 0;
        more->~BlockHeader();
        std::free(more);
        more = next;
    }
    root->magic = 0;
    root->~BlockHeader();
    std::free(root);
    return S_OK;
}
