// An Outlook data file (.pst, .ost) as a message store: its own properties, its folders with their
// subfolders and the identifiers of their messages, and each message with its recipients,
// attachments and embedded messages, read when it is asked for. Every call returns its status and
// on failure names the file and the fault in `error`. Reading is safe from several threads at once.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"
#include "platform/pst/NodeDatabase.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform::pst {

// Node ids of the objects every data file has.
inline constexpr std::uint32_t kMessageStoreNode = 0x21;
inline constexpr std::uint32_t kNameMapNode = 0x61;
inline constexpr std::uint32_t kRootFolderNode = 0x122;

struct PstFolder {
    std::uint32_t nid = 0;
    cfb::MsgPropertyList properties;
    std::vector<std::uint32_t> subfolders;  // from the folder's hierarchy table, in its order
};

class PstStore {
public:
    HRESULT Open(const std::string& path, std::string& error);

    const NodeDatabase& Database() const { return database_; }
    // The named properties of the file: each id from 0x8000 with its property set and name.
    const std::map<std::uint16_t, cfb::MsgNamedProperty>& NamedProperties() const { return named_; }

    // The store's and a folder's properties, 8-bit strings read in `codePage` and made Unicode; ids
    // from 0x8000 are those of NamedProperties().
    HRESULT ReadStoreProperties(unsigned codePage, cfb::MsgPropertyList& properties, std::string& error) const;
    HRESULT ReadFolder(std::uint32_t nid, unsigned codePage, PstFolder& folder, std::string& error) const;
    // The node ids of the folder's messages (or of its hidden items), in the order of its table.
    HRESULT ReadMessageIds(std::uint32_t folderNid, bool associated, std::vector<std::uint32_t>& ids,
                           std::string& error) const;
    // The message with its recipients and attachments; 8-bit strings without a code page of their
    // own are taken as `defaultCodePage`. Ids from 0x8000 come with their names; one that the file
    // does not name is left out and said in `document.leftOut`.
    HRESULT ReadMessage(std::uint32_t nid, std::uint32_t defaultCodePage, cfb::MsgDocument& document,
                        std::string& error) const;

    // The node id in a data file's entry identifier of a folder or message (flags, the store's
    // 16-byte identifier, the node id); 0 when `entryId` is not one.
    static std::uint32_t NodeOfEntryId(const std::vector<std::uint8_t>& entryId);

private:
    void ReadNameMap();

    NodeDatabase database_;
    std::map<std::uint16_t, cfb::MsgNamedProperty> named_;
};

} // namespace platform::pst
