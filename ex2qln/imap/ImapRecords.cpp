// Response records in MAPI memory: property lists, the block ReadReply hands out, and its owner.
#include "ex2qln/imap/ImapRecords.h"

#include <cstring>
#include <utility>

namespace ex2qln::imap {

const SPropValue* FindProperty(const ImapRecord& record, ULONG tag)
{
    for (ULONG i = 0; i < record.count; ++i) {
        if (record.props[i].ulPropTag == tag)
            return &record.props[i];
    }
    return nullptr;
}

HRESULT BuildPropertyList(std::span<const ImapProperty> properties, LPALLOCATEBUFFER allocateBuffer,
                          LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer, LPSPropValue* list)
{
    *list = nullptr;
    const std::size_t slots = properties.empty() ? 1 : properties.size();
    void* memory = nullptr;
    HRESULT status = allocateBuffer(static_cast<ULONG>(slots * sizeof(SPropValue)), &memory);
    if (FAILED(status))
        return status;
    auto* values = static_cast<LPSPropValue>(memory);
    std::memset(values, 0, slots * sizeof(SPropValue));
    for (std::size_t i = 0; i < properties.size(); ++i) {
        const ImapProperty& property = properties[i];
        values[i].ulPropTag = property.tag;
        if (PROP_TYPE(property.tag) == PT_I2) {
            values[i].Value.i = static_cast<SHORT>(property.number);
        } else if (PROP_TYPE(property.tag) == PT_STRING8) {
            void* text = nullptr;
            status = allocateMore(static_cast<ULONG>(property.text.size() + 1), values, &text);
            if (FAILED(status))
                break;
            std::memcpy(text, property.text.c_str(), property.text.size() + 1);
            values[i].Value.lpszA = static_cast<LPSTR>(text);
        } else {
            values[i].Value.ul = property.number;
        }
    }
    if (FAILED(status)) {
        freeBuffer(values);
        return status;
    }
    *list = values;
    return S_OK;
}

HRESULT BuildRecordBlock(std::span<const ImapRecord> records, LPALLOCATEBUFFER allocateBuffer,
                         ImapRecordBlock** block)
{
    *block = nullptr;
    void* memory = nullptr;
    const std::size_t slots = records.empty() ? 1 : records.size();
    const HRESULT status = allocateBuffer(static_cast<ULONG>(CbNewImapRecordBlock(slots)), &memory);
    if (FAILED(status))
        return status;
    auto* result = static_cast<ImapRecordBlock*>(memory);
    result->count = static_cast<ULONG>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        result->records[i] = records[i];
    *block = result;
    return S_OK;
}

ImapRecords::ImapRecords(ImapRecords&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)), freeBuffer_(std::exchange(other.freeBuffer_, nullptr))
{
}

ImapRecords& ImapRecords::operator=(ImapRecords&& other) noexcept
{
    if (this != &other) {
        LPFREEBUFFER freeBuffer = std::exchange(other.freeBuffer_, nullptr);
        reset(std::exchange(other.block_, nullptr), freeBuffer);
    }
    return *this;
}

void ImapRecords::reset(ImapRecordBlock* block, LPFREEBUFFER freeBuffer)
{
    ImapRecordBlock* old = std::exchange(block_, block);
    LPFREEBUFFER oldFree = std::exchange(freeBuffer_, freeBuffer);
    if (old == nullptr || oldFree == nullptr)
        return;
    for (ULONG i = 0; i < old->count; ++i)
        oldFree(old->records[i].props);
    oldFree(old);
}

} // namespace ex2qln::imap
