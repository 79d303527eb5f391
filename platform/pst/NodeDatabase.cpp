// Reading the header, the B-trees, the blocks and the block and subnode trees of a data file.
#include "platform/pst/NodeDatabase.h"

#include "platform/base/LittleEndian.h"
#include "platform/pst/PstError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>

namespace platform::pst {
namespace {

constexpr std::uint32_t kMagic = 0x4E444221;  // "!BDN"
constexpr std::uint16_t kClientPst = 0x4D53;  // "SM"
constexpr std::uint16_t kClientOst = 0x4F53;  // "SO"
constexpr std::size_t kHeaderSize = 564;
constexpr std::size_t kPageSize = 512;
constexpr std::size_t kMaxBlockSize = 8192;
constexpr std::uint8_t kBlockTreePage = 0x80;
constexpr std::uint8_t kNodeTreePage = 0x81;
constexpr int kMaxTreeDepth = 16;
constexpr std::size_t kMaxKeptLeafPages = 4096;  // 2 MiB of leaf pages
constexpr std::uint8_t kDataTreeBlock = 0x01;
constexpr std::uint8_t kSubnodeTreeBlock = 0x02;
constexpr std::uint64_t kInternalBlock = 0x2;

std::string Hex(std::uint64_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << value;
    return text.str();
}

bool IsInternal(std::uint64_t bid)
{
    return (bid & kInternalBlock) != 0;
}

} // namespace

NodeDatabase::~NodeDatabase()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

HRESULT NodeDatabase::Open(const std::string& path, std::string& error)
{
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        int code = errno;
        error = path + ": cannot open the file: " + std::strerror(code);
        return HResultFromErrno(code);
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = path + ": not a regular file";
        return MAPI_E_CORRUPT_DATA;
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
    return CatchPstError(path, error, [&] {
        if (size_ < kHeaderSize) {
            Corrupt("not an Outlook data file: too short for its header");
        }
        Bytes header(kHeaderSize);
        ReadAt(0, header.size(), header.data());
        const std::uint16_t client = ReadU16(header, 8);
        if (ReadU32(header, 0) != kMagic || (client != kClientPst && client != kClientOst)) {
            Corrupt("not an Outlook data file (.pst or .ost)");
        }
        const std::uint16_t version = ReadU16(header, 10);
        if (version == 14 || version == 15) {
            format_ = FileFormat::Ansi;
            nodeRoot_ = ReadU32(header, 188);
            blockRoot_ = ReadU32(header, 196);
        } else if (version == 23) {
            format_ = FileFormat::Unicode;
            nodeRoot_ = ReadU64(header, 224);
            blockRoot_ = ReadU64(header, 240);
        } else if (version == 36) {
            Corrupt("this offline file has 4 KiB pages (format version 36), which cannot be read yet");
        } else {
            Corrupt("unknown format version " + std::to_string(version));
        }
        const std::uint8_t crypt = header[format_ == FileFormat::Unicode ? 513 : 461];
        if (crypt > 2) {
            Corrupt("unknown block encoding " + std::to_string(crypt));
        }
        encoding_ = static_cast<BlockEncoding>(crypt);
    });
}

void NodeDatabase::ReadAt(std::uint64_t offset, std::size_t size, std::uint8_t* target) const
{
    if (offset > size_ || size > size_ - offset) {
        Corrupt("offset " + Hex(offset) + " and size " + std::to_string(size) + " lie beyond the end of the file");
    }
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ::pread(fd_, target + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int code = errno;
            throw PstError{HResultFromErrno(code), std::string("cannot read the file: ") + std::strerror(code)};
        }
        if (got == 0) {
            Corrupt("the file ended early at offset " + Hex(offset + done) + " (was it shortened?)");
        }
        done += static_cast<std::size_t>(got);
    }
}

std::uint64_t NodeDatabase::ReadId(const Bytes& bytes, std::size_t offset) const
{
    return format_ == FileFormat::Unicode ? ReadU64(bytes, offset) : ReadU32(bytes, offset);
}

std::shared_ptr<const NodeDatabase::Page> NodeDatabase::ReadPage(std::uint64_t offset, std::uint8_t expectedType) const
{
    const PageKey key{offset, expectedType};
    {
        std::lock_guard lock(pagesMutex_);
        for (const PageCache* cache : {&innerPages_, &leafPages_}) {
            if (auto found = cache->find(key); found != cache->end()) {
                return found->second;
            }
        }
    }
    auto page = std::make_shared<const Page>(ReadPageFromFile(offset, expectedType));
    std::lock_guard lock(pagesMutex_);
    PageCache& cache = page->level == 0 ? leafPages_ : innerPages_;
    if (&cache == &leafPages_ && leafPages_.size() >= kMaxKeptLeafPages) {
        leafPages_.clear();
    }
    cache.emplace(key, page);
    return page;
}

NodeDatabase::Page NodeDatabase::ReadPageFromFile(std::uint64_t offset, std::uint8_t expectedType) const
{
    Page page;
    page.bytes.resize(kPageSize);
    ReadAt(offset, kPageSize, page.bytes.data());
    const bool unicode = format_ == FileFormat::Unicode;
    const std::size_t trailer = unicode ? 496 : 500;
    const std::size_t entries = unicode ? 488 : 496;
    if (page.bytes[trailer] != expectedType || page.bytes[trailer + 1] != expectedType) {
        Corrupt("the page at " + Hex(offset) + " is not a " + (expectedType == kNodeTreePage ? "node" : "block") +
                " B-tree page");
    }
    page.count = page.bytes[entries];
    page.entrySize = page.bytes[entries + 2];
    page.level = page.bytes[entries + 3];
    const std::size_t leafSize = expectedType == kNodeTreePage ? (unicode ? 32 : 16) : (unicode ? 24 : 12);
    const std::size_t needed = page.level == 0 ? leafSize : (unicode ? 24 : 12);
    if (page.entrySize < needed || page.count * page.entrySize > entries) {
        Corrupt("the B-tree page at " + Hex(offset) + " has impossible entries");
    }
    return page;
}

bool NodeDatabase::SearchTree(std::uint64_t rootOffset, std::uint8_t type, std::uint64_t key, Bytes& entry) const
{
    std::uint64_t offset = rootOffset;
    int expectedLevel = -1;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        std::shared_ptr<const Page> kept = ReadPage(offset, type);
        const Page& page = *kept;
        if (expectedLevel >= 0 && page.level != expectedLevel) {
            Corrupt("the B-tree page at " + Hex(offset) + " is at the wrong level");
        }
        if (page.level == 0) {
            for (std::size_t i = 0; i < page.count; ++i) {
                const std::size_t at = i * page.entrySize;
                std::uint64_t entryKey = ReadId(page.bytes, at);
                if (type == kNodeTreePage) {
                    entryKey &= 0xFFFFFFFFu;
                }
                if (entryKey == key) {
                    entry.assign(page.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 page.bytes.begin() + static_cast<std::ptrdiff_t>(at + page.entrySize));
                    return true;
                }
            }
            return false;
        }
        std::optional<std::uint64_t> child;
        for (std::size_t i = 0; i < page.count; ++i) {
            const std::size_t at = i * page.entrySize;
            if (ReadId(page.bytes, at) > key) {
                break;
            }
            child = ReadId(page.bytes, at + 2 * IdSize());
        }
        if (!child) {
            return false;
        }
        offset = *child;
        expectedLevel = page.level - 1;
    }
    Corrupt("a B-tree is nested too deeply");
}

NodeEntry NodeDatabase::FindNode(std::uint32_t nid) const
{
    Bytes entry;
    if (!SearchTree(nodeRoot_, kNodeTreePage, nid, entry)) {
        throw PstError{MAPI_E_NOT_FOUND, "there is no node " + Hex(nid)};
    }
    const std::size_t id = IdSize();
    return NodeEntry{nid, ReadId(entry, id), ReadId(entry, 2 * id), ReadU32(entry, 3 * id)};
}

bool NodeDatabase::HasNode(std::uint32_t nid) const
{
    Bytes entry;
    return SearchTree(nodeRoot_, kNodeTreePage, nid, entry);
}

Bytes NodeDatabase::ReadBlock(std::uint64_t bid) const
{
    const std::uint64_t key = bid & ~std::uint64_t{1};
    Bytes entry;
    if (!SearchTree(blockRoot_, kBlockTreePage, key, entry)) {
        Corrupt("there is no block " + Hex(key));
    }
    const std::size_t id = IdSize();
    const std::uint64_t offset = ReadId(entry, id);
    const std::uint16_t size = ReadU16(entry, 2 * id);
    if (size > kMaxBlockSize) {
        Corrupt("the block " + Hex(key) + " claims " + std::to_string(size) + " bytes");
    }
    Bytes block(size);
    ReadAt(offset, size, block.data());
    if (!IsInternal(key)) {
        DecodeBlock(encoding_, key, block);
    }
    return block;
}

std::vector<std::uint64_t> NodeDatabase::DataBlockIds(std::uint64_t dataBlock) const
{
    std::vector<std::uint64_t> ids;
    AppendDataBlockIds(dataBlock, 3, ids);
    return ids;
}

void NodeDatabase::CheckFits(std::size_t count, std::size_t smallestSize, std::uint64_t bid) const
{
    // Each block takes at least this much of the file: a tree that names more than the file can
    // hold names blocks over and over, and is not read any further.
    if (count > size_ / smallestSize) {
        Corrupt("the tree below block " + Hex(bid) + " names more than the file holds");
    }
}

Bytes NodeDatabase::ReadDataBlock(std::uint64_t bid) const
{
    return ReadBlock(bid);
}

std::vector<Bytes> NodeDatabase::ReadData(std::uint64_t dataBlock) const
{
    std::vector<Bytes> blocks;
    for (std::uint64_t id : DataBlockIds(dataBlock)) {
        blocks.push_back(ReadBlock(id));
    }
    return blocks;
}

Bytes NodeDatabase::ReadAll(std::uint64_t dataBlock, std::size_t limit) const
{
    limit = static_cast<std::size_t>(std::min<std::uint64_t>(limit, size_));
    Bytes all;
    for (std::uint64_t id : DataBlockIds(dataBlock)) {
        Bytes block = ReadBlock(id);
        if (block.size() > limit - all.size()) {
            Corrupt("the data of block " + Hex(dataBlock) + " is larger than " + std::to_string(limit) + " bytes");
        }
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

void NodeDatabase::AppendDataBlockIds(std::uint64_t bid, int level, std::vector<std::uint64_t>& ids) const
{
    if (!IsInternal(bid)) {
        ids.push_back(bid);
        return;
    }
    Bytes block = ReadBlock(bid);
    const std::size_t header = 8;
    if (block.size() < header || block[0] != kDataTreeBlock || block[1] == 0 || block[1] >= level) {
        Corrupt("the block " + Hex(bid) + " is not a sound data tree block");
    }
    const std::size_t count = ReadU16(block, 2);
    if (header + count * IdSize() > block.size()) {
        Corrupt("the data tree block " + Hex(bid) + " has more entries than it holds");
    }
    CheckFits(ids.size() + count, 64, bid);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t child = ReadId(block, header + i * IdSize());
        if (block[1] == 1 && IsInternal(child)) {
            Corrupt("the data tree block " + Hex(bid) + " names an internal block as data");
        }
        AppendDataBlockIds(child, block[1], ids);
    }
}

Subnodes NodeDatabase::ReadSubnodes(std::uint64_t subnodeBlock) const
{
    Subnodes subnodes;
    std::size_t visited = 0;
    if (subnodeBlock != 0) {
        AppendSubnodes(subnodeBlock, 3, subnodes, visited);
    }
    return subnodes;
}

void NodeDatabase::AppendSubnodes(std::uint64_t bid, int level, Subnodes& subnodes, std::size_t& visited) const
{
    Bytes block = ReadBlock(bid);
    const bool unicode = format_ == FileFormat::Unicode;
    const std::size_t header = unicode ? 8 : 4;
    if (!IsInternal(bid) || block.size() < header || block[0] != kSubnodeTreeBlock || block[1] >= level) {
        Corrupt("the block " + Hex(bid) + " is not a sound subnode block");
    }
    const std::size_t count = ReadU16(block, 2);
    const std::size_t id = IdSize();
    const bool leaf = block[1] == 0;
    const std::size_t entrySize = leaf ? 3 * id : 2 * id;
    if (header + count * entrySize > block.size()) {
        Corrupt("the subnode block " + Hex(bid) + " has more entries than it holds");
    }
    visited += count;
    CheckFits(visited, entrySize, bid);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = header + i * entrySize;
        const auto nid = static_cast<std::uint32_t>(ReadId(block, at));
        if (leaf) {
            subnodes[nid] = NodeEntry{nid, ReadId(block, at + id), ReadId(block, at + 2 * id), 0};
        } else {
            AppendSubnodes(ReadId(block, at + id), block[1], subnodes, visited);
        }
    }
}

std::vector<NodeDatabase::BlockPlace> NodeDatabase::AllBlocks() const
{
    std::vector<BlockPlace> blocks;
    const std::size_t id = IdSize();
    VisitLeaves(blockRoot_, kBlockTreePage, 0, [&](const Bytes& page, std::size_t at) {
        blocks.push_back({ReadId(page, at), ReadId(page, at + id), ReadU16(page, at + 2 * id)});
    });
    return blocks;
}

std::vector<NodeEntry> NodeDatabase::AllNodes() const
{
    std::vector<NodeEntry> nodes;
    const std::size_t id = IdSize();
    VisitLeaves(nodeRoot_, kNodeTreePage, 0, [&](const Bytes& page, std::size_t at) {
        nodes.push_back({static_cast<std::uint32_t>(ReadId(page, at)), ReadId(page, at + id), ReadId(page, at + 2 * id),
                         ReadU32(page, at + 3 * id)});
    });
    return nodes;
}

void NodeDatabase::VisitLeaves(std::uint64_t offset, std::uint8_t type, int depth,
                               const std::function<void(const Bytes& page, std::size_t at)>& visit) const
{
    if (depth >= kMaxTreeDepth) {
        Corrupt("a B-tree is nested too deeply");
    }
    std::shared_ptr<const Page> kept = ReadPage(offset, type);
    const Page& page = *kept;
    for (std::size_t i = 0; i < page.count; ++i) {
        const std::size_t at = i * page.entrySize;
        if (page.level == 0) {
            visit(page.bytes, at);
        } else {
            VisitLeaves(ReadId(page.bytes, at + 2 * IdSize()), type, depth + 1, visit);
        }
    }
}

} // namespace platform::pst
