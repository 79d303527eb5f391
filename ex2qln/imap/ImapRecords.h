// Response records: one server line as a kind and a MAPI property list, and their owner.
#pragma once

#include "ex2qln/imap/ImapResponseParser.h"

#include <mapidefs.h>
#include <mapitags.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace ex2qln::imap {

// Property tags that response lines produce: published ones where MAPI has the meaning, the
// server's own (0x66xx) where it has not.
inline constexpr ULONG kPropComment = PR_COMMENT_A;                  // status, continuation or line text
inline constexpr ULONG kPropBody = PR_BODY_A;                        // the mail trailer
inline constexpr ULONG kPropUidValidity = 0x66F20003;                // [UIDVALIDITY n], first value of [APPENDUID]
inline constexpr ULONG kPropAppendUid = 0x66F10003;                  // second value of [APPENDUID]
inline constexpr ULONG kPropUidNext = 0x66F30003;                    // [UIDNEXT n]
inline constexpr ULONG kPropUid = 0x66F50003;                        // FETCH's UID
inline constexpr ULONG kPropMessageSize = PR_MESSAGE_SIZE;           // FETCH's RFC822.SIZE
inline constexpr ULONG kPropAccess = PR_ACCESS_LEVEL;                // [READ-ONLY] 0, [READ-WRITE] 1
inline constexpr ULONG kPropPermanentFlags = 0x66F40003;             // [PERMANENTFLAGS (...)] as flag bits
inline constexpr ULONG kPropContentCount = PR_CONTENT_COUNT;         // "\MESSAGES n", "n EXISTS"
inline constexpr ULONG kPropContentUnread = PR_CONTENT_UNREAD;       // "\UNSEEN n"
inline constexpr ULONG kPropContainerClass = PR_CONTAINER_CLASS_A;   // "\CLASS s"
inline constexpr ULONG kPropPostClass = PR_DEF_POST_MSGCLASS_A;      // "X-Post-Class s"
inline constexpr ULONG kPropPostDescription = PR_DEF_POST_DISPLAYNAME_A;  // "X-Post-Desc s"
inline constexpr ULONG kPropViewInfo = CHANGE_PROP_TYPE(PR_FOLDER_XVIEWINFO_E, PT_STRING8);  // "X-View-Info s"
inline constexpr ULONG kPropFolderAttributes = PR_STATUS;            // LIST attribute bits
inline constexpr ULONG kPropDelimiter = 0x66F00002;                  // LIST hierarchy delimiter, 0 for NIL
inline constexpr ULONG kPropFolderName = 0x66B5001E;                 // LIST folder name

// LIST attribute bits.
inline constexpr std::uint32_t kFolderNoInferiors = 0x1000;
inline constexpr std::uint32_t kFolderNoSelect = 0x4;
inline constexpr std::uint32_t kFolderMarked = 0x2;

// Message flag bits.
inline constexpr std::uint32_t kFlagAnswered = 1;
inline constexpr std::uint32_t kFlagFlagged = 2;
inline constexpr std::uint32_t kFlagDeleted = 4;
inline constexpr std::uint32_t kFlagDraft = 8;
inline constexpr std::uint32_t kFlagSeen = 16;
inline constexpr std::uint32_t kFlagForwarded = 32;

struct ImapRecord {
    ULONG kind;
    ULONG count;
    LPSPropValue props;  // `count` values; their strings are chained to this allocation
};

// What ReadReply hands out: a count, then the records.
struct ImapRecordBlock {
    ULONG count;
    ImapRecord records[1];
};
#define CbNewImapRecordBlock(count) (offsetof(ImapRecordBlock, records) + (count) * sizeof(ImapRecord))

// The value of `tag` in `record`, or null.
const SPropValue* FindProperty(const ImapRecord& record, ULONG tag);

// A property list for `properties` from `allocateBuffer`, with the strings chained to it by
// `allocateMore`; there is always room for at least one value, so the list is never null.
HRESULT BuildPropertyList(std::span<const ImapProperty> properties, LPALLOCATEBUFFER allocateBuffer,
                          LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer, LPSPropValue* list);

// One block holding the count and copies of `records` (the property lists move into it).
HRESULT BuildRecordBlock(std::span<const ImapRecord> records, LPALLOCATEBUFFER allocateBuffer,
                         ImapRecordBlock** block);

// Owns a record block and every record's property list; frees them with the given function.
class ImapRecords {
public:
    ImapRecords() = default;
    ImapRecords(const ImapRecords&) = delete;
    ImapRecords& operator=(const ImapRecords&) = delete;
    ImapRecords(ImapRecords&& other) noexcept;
    ImapRecords& operator=(ImapRecords&& other) noexcept;
    ~ImapRecords() { reset(); }

    void reset(ImapRecordBlock* block = nullptr, LPFREEBUFFER freeBuffer = nullptr);

    std::size_t size() const { return block_ == nullptr ? 0 : block_->count; }
    bool empty() const { return size() == 0; }
    const ImapRecord& operator[](std::size_t index) const { return block_->records[index]; }
    const ImapRecord* begin() const { return block_ == nullptr ? nullptr : block_->records; }
    const ImapRecord* end() const { return begin() + size(); }
    const ImapRecordBlock* get() const { return block_; }

private:
    ImapRecordBlock* block_ = nullptr;
    LPFREEBUFFER freeBuffer_ = nullptr;
};

} // namespace ex2qln::imap
