// Re-encoded and damaged data files, and text descriptions of what the reader gives.
#include "DataFileFixtures.h"

#include "platform/base/LittleEndian.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <sstream>

namespace pstfixtures {

using namespace platform;
using namespace platform::pst;

void WriteReencoded(const std::filesystem::path& sample, BlockEncoding encoding, const std::filesystem::path& target)
{
    NodeDatabase source;
    std::string error;
    ASSERT_EQ(source.Open(sample.string(), error), S_OK) << error;
    std::filesystem::copy_file(sample, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::fstream file(target, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& block : source.AllBlocks()) {
        if ((block.bid & 2) != 0) {
            continue;  // internal blocks are never encoded
        }
        std::vector<std::uint8_t> bytes(block.size);
        file.seekg(static_cast<std::streamoff>(block.offset));
        file.read(reinterpret_cast<char*>(bytes.data()), block.size);
        DecodeBlock(source.Encoding(), block.bid, bytes);
        EncodeBlock(encoding, block.bid, bytes);
        file.seekp(static_cast<std::streamoff>(block.offset));
        file.write(reinterpret_cast<const char*>(bytes.data()), block.size);
    }
    file.seekp(source.Format() == FileFormat::Unicode ? 513 : 461);
    file.put(static_cast<char>(encoding));
    ASSERT_TRUE(file.good());
}

namespace {

// Copies the B-tree below the page at `offset` of `in` to the end of `out`; the page's new offset.
std::uint64_t CopyTree(const std::string& in, std::uint64_t offset, bool unicode, std::string& out, int depth)
{
    if (depth > 16 || offset + 512 > in.size()) {
        ADD_FAILURE() << "a B-tree page that cannot be copied";
        return 0;
    }
    std::vector<std::uint8_t> page(in.begin() + static_cast<std::ptrdiff_t>(offset),
                                   in.begin() + static_cast<std::ptrdiff_t>(offset + 512));
    const std::size_t counts = unicode ? 488 : 496;
    const std::size_t id = unicode ? 8 : 4;
    const bool blockTree = page[unicode ? 496 : 500] == 0x80;
    const std::size_t count = page[counts];
    const std::size_t size = page[counts + 2];
    const int level = page[counts + 3];
    auto putOffset = [&](std::size_t at, std::uint64_t value) {
        if (unicode) {
            PutU64(page, at, value);
        } else {
            PutU32(page, at, static_cast<std::uint32_t>(value));
        }
    };
    auto readOffset = [&](std::size_t at) { return unicode ? ReadU64(page, at) : ReadU32(page, at); };
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = i * size;
        if (level > 0) {
            putOffset(entry + 2 * id, CopyTree(in, readOffset(entry + 2 * id), unicode, out, depth + 1));
        } else if (blockTree) {
            const std::uint64_t from = readOffset(entry + id);
            const std::size_t length = ReadU16(page, entry + 2 * id);
            out.resize((out.size() + 63) / 64 * 64, '\0');
            putOffset(entry + id, out.size());
            out += in.substr(from, length);
        }
    }
    out.resize((out.size() + 511) / 512 * 512, '\0');
    const std::uint64_t placed = out.size();
    out.append(page.begin(), page.end());
    return placed;
}

void DescribeProperties(std::ostringstream& out, const cfb::MsgPropertyList& properties, const std::string& indent)
{
    for (const auto& p : properties) {
        out << indent << std::hex << std::setw(8) << std::setfill('0') << p.tag << std::dec << " i=" << p.integer
            << " r=" << p.real << " b=";
        for (auto b : p.bytes) {
            out << std::hex << std::setw(2) << std::setfill('0') << int(b);
        }
        out << std::dec << " t=" << p.text.size() << ":";
        for (char16_t c : p.text) {
            out << int(c) << ',';
        }
        out << " mv=" << p.integers.size() << '/' << p.reals.size() << '/' << p.byteValues.size() << '/' << p.texts.size();
        for (const auto& v : p.byteValues) {
            out << ' ' << v.size();
        }
        for (const auto& v : p.texts) {
            out << ' ' << v.size();
        }
        out << '\n';
    }
}

void DescribeMessage(std::ostringstream& out, const cfb::MsgMessage& message, const std::string& indent)
{
    out << indent << "codepage " << message.codePage << '\n';
    DescribeProperties(out, message.properties, indent);
    for (const auto& recipient : message.recipients) {
        out << indent << "recipient " << recipient.number << '\n';
        DescribeProperties(out, recipient.properties, indent + "  ");
    }
    for (const auto& attachment : message.attachments) {
        out << indent << "attachment " << attachment.number << '\n';
        DescribeProperties(out, attachment.properties, indent + "  ");
        if (attachment.embedded) {
            DescribeMessage(out, *attachment.embedded, indent + "    ");
        }
    }
}

void DescribeFolder(std::ostringstream& out, const PstStore& store, std::uint32_t nid, int depth)
{
    PstFolder folder;
    std::string error;
    ASSERT_EQ(store.ReadFolder(nid, 1252, folder, error), S_OK) << error;
    out << "folder " << nid << '\n';
    DescribeProperties(out, folder.properties, "  ");
    for (bool associated : {false, true}) {
        std::vector<std::uint32_t> ids;
        ASSERT_EQ(store.ReadMessageIds(nid, associated, ids, error), S_OK) << error;
        for (std::uint32_t id : ids) {
            cfb::MsgDocument document;
            ASSERT_EQ(store.ReadMessage(id, 1252, document, error), S_OK) << error;
            out << "message " << id << '\n' << Describe(document);
        }
    }
    ASSERT_LT(depth, 32);
    for (std::uint32_t child : folder.subfolders) {
        DescribeFolder(out, store, child, depth + 1);
    }
}

} // namespace

void WriteCompacted(const std::filesystem::path& sample, const std::filesystem::path& target)
{
    const std::string in = testsupport::ReadFile(sample);
    ASSERT_GT(in.size(), 564u);
    const bool unicode = ReadU16(std::span(reinterpret_cast<const std::uint8_t*>(in.data()), 12), 10) >= 23;
    std::string out = in.substr(0, 1024);
    std::vector<std::uint8_t> header(out.begin(), out.end());
    const std::size_t nodeRoot = unicode ? 224 : 188;
    const std::size_t blockRoot = unicode ? 240 : 196;
    const std::uint64_t nodes = unicode ? ReadU64(header, nodeRoot) : ReadU32(header, nodeRoot);
    const std::uint64_t blocks = unicode ? ReadU64(header, blockRoot) : ReadU32(header, blockRoot);
    const std::uint64_t newNodes = CopyTree(in, nodes, unicode, out, 0);
    const std::uint64_t newBlocks = CopyTree(in, blocks, unicode, out, 0);
    if (unicode) {
        PutU64(header, nodeRoot, newNodes);
        PutU64(header, blockRoot, newBlocks);
    } else {
        PutU32(header, nodeRoot, static_cast<std::uint32_t>(newNodes));
        PutU32(header, blockRoot, static_cast<std::uint32_t>(newBlocks));
    }
    out.replace(0, header.size(), std::string(header.begin(), header.end()));
    testsupport::WriteFile(target, out);
}

std::string Describe(const cfb::MsgDocument& document)
{
    std::ostringstream out;
    DescribeMessage(out, document.message, "");
    for (const auto& named : document.namedProperties) {
        out << "named " << named.id << ' ' << named.isString << ' ' << named.lid << ' ' << named.name.size() << '\n';
    }
    for (const auto& left : document.leftOut) {
        out << "left out " << left << '\n';
    }
    return out.str();
}

std::string DescribeStore(const PstStore& store)
{
    std::ostringstream out;
    DescribeFolder(out, store, kRootFolderNode, 0);
    return out.str();
}

std::string MakeHeader(std::uint16_t version, std::uint8_t encoding, std::uint64_t nodeRoot, std::uint64_t blockRoot)
{
    std::vector<std::uint8_t> header(564);
    PutU32(header, 0, 0x4E444221);
    PutU16(header, 8, 0x4D53);
    PutU16(header, 10, version);
    if (version >= 23) {
        PutU64(header, 224, nodeRoot);
        PutU64(header, 240, blockRoot);
        header[513] = encoding;
    } else {
        PutU32(header, 188, static_cast<std::uint32_t>(nodeRoot));
        PutU32(header, 196, static_cast<std::uint32_t>(blockRoot));
        header[461] = encoding;
    }
    return std::string(header.begin(), header.end());
}

} // namespace pstfixtures
