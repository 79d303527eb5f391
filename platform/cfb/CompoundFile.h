// Read-only access to a compound file (structured storage): its storages, streams and their bytes.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::cfb {

enum class EntryType : std::uint8_t { Storage = 1, Stream = 2, Root = 5 };

struct DirectoryEntry {
    std::string name;                    // UTF-8
    EntryType type = EntryType::Storage;
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;              // streams only
    std::vector<std::uint32_t> children; // entry numbers, ordered by FoldedName
    std::string foldedName;              // name with ASCII letters in upper case, for look-ups
};

// Where the bytes of a compound file come from: memory, or a file read at offsets when wanted.
class FileBytes {
public:
    virtual ~FileBytes() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to out.size() bytes at `offset`; fewer only where the bytes end. Safe from several threads.
    virtual HRESULT ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& read) const = 0;
};

// The regular file `path`, open and read at offsets while the result lives. A file read, not mapped:
// one that shrinks meanwhile comes out damaged instead of ending the process. Errors come back as
// HResultFromErrno.
HRESULT OpenFileBytes(const std::string& path, std::shared_ptr<const FileBytes>& bytes);

// Reading keeps per-sector bookkeeping, so one object serves one thread at a time.
class CompoundFile {
public:
    // Checks the header and reads the allocation tables and the directory of `bytes`, which must
    // stay alive and unchanged while this object is used. On failure Error() says what is wrong.
    HRESULT Open(std::span<const std::uint8_t> bytes);
    // The same for bytes that this object (and the readers it opens) keep alive.
    HRESULT Open(std::shared_ptr<const FileBytes> bytes);

    const DirectoryEntry& Root() const { return entries_.front(); }
    const DirectoryEntry& Entry(std::uint32_t number) const { return entries_[number]; }
    // The child of `storage` with this name, compared without regard to ASCII case; nullptr if none.
    const DirectoryEntry* Find(const DirectoryEntry& storage, std::string_view name) const;
    // Every stream entry below `storage`, at any depth, each storage's children in name order.
    std::vector<const DirectoryEntry*> StreamsBelow(const DirectoryEntry& storage) const;

    // The whole content of a stream entry, from the regular or the mini sectors as its size says.
    HRESULT ReadStream(const DirectoryEntry& stream, std::vector<std::uint8_t>& data) const;

    // A stream of regular sectors (at least the mini stream cutoff long) as a value read from the
    // file when wanted; its sector chain is checked now. Only for bytes opened as FileBytes.
    HRESULT OpenStreamed(const DirectoryEntry& stream, std::shared_ptr<const StreamedValue>& value) const;

    // Bytes of the file that streams can hold at most without sharing sectors: every regular
    // sector plus the mini stream.
    std::uint64_t Capacity() const { return size_ + miniStream_.size(); }

    // What made the last call fail, in a sentence without the file's name.
    const std::string& Error() const { return error_; }

private:
    HRESULT Fail(std::string message) const;
    // A read of the file failed with the system error `hr`.
    HRESULT FailRead(HRESULT hr) const;
    HRESULT ReadHeader();
    HRESULT ReadFat();
    HRESULT ReadDirectory();
    HRESULT BuildTree();
    HRESULT ReadMiniStream();
    // Follows `table` from `start`: exactly `count` links when count is given, else up to the end of
    // the chain; every sector number must be below `limit` and appear only once. `marks` remembers
    // per sector the walk that last passed it, so a loop is found without a fresh table per walk.
    HRESULT FollowChain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::size_t limit,
                        std::size_t count, bool exactCount, std::vector<std::uint32_t>& chain,
                        std::vector<std::uint32_t>& marks, std::string_view what) const;
    // Copies `size` bytes of the mini sectors in `chain` from the mini stream.
    HRESULT CopyMiniSectors(const std::vector<std::uint32_t>& chain, std::uint64_t size,
                            std::vector<std::uint8_t>& data, std::string_view what) const;
    // Reads `size` bytes of the regular sectors in `chain` from the file, neighbouring sectors at once.
    HRESULT CopySectors(const std::vector<std::uint32_t>& chain, std::uint64_t size, std::vector<std::uint8_t>& data,
                        std::string_view what) const;
    // One whole regular sector (a DIFAT or FAT sector) into `sector`.
    HRESULT ReadSector(std::uint32_t number, std::vector<std::uint8_t>& sector, std::string_view what) const;
    HRESULT ReadRegular(std::uint32_t start, std::uint64_t size, std::vector<std::uint8_t>& data,
                        std::string_view what) const;

    std::shared_ptr<const FileBytes> bytes_;
    std::uint64_t size_ = 0;
    std::vector<std::uint8_t> header_;
    std::uint16_t majorVersion_ = 0;
    std::size_t sectorSize_ = 0;
    std::size_t sectorCount_ = 0;        // sectors present (even partly) after the header
    std::uint32_t miniStreamCutoff_ = 0;
    std::uint32_t firstDirectorySector_ = 0;
    std::uint32_t firstMiniFatSector_ = 0;
    std::uint32_t firstDifatSector_ = 0;
    std::uint32_t fatSectorCount_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::uint8_t> miniStream_;
    struct Links {
        std::uint32_t left = 0;
        std::uint32_t right = 0;
        std::uint32_t child = 0;
    };

    std::vector<DirectoryEntry> entries_;
    std::vector<Links> links_;
    mutable std::vector<std::uint32_t> sectorMarks_;
    mutable std::vector<std::uint32_t> miniSectorMarks_;
    mutable std::uint32_t walk_ = 0;
    mutable std::string error_;
};

} // namespace platform::cfb
