// The stores of an organisation file: the mailboxes and the public folders, their folder trees (from
// the file and from directories of .msg files), the index of each folder's messages, and the
// identifiers and properties derived for them. Messages are only listed here, not read: the
// organisation file's source reads each when it is asked for.
#pragma once

#include "platform/orgsource/GalReader.h"
#include "platform/orgsource/Organisation.h"
#include "platform/orgsource/OrganisationFileSource.h"
#include "platform/orgsource/PropertyReader.h"
#include "platform/pst/PstStore.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace platform::orgsource {

class StoreReader {
public:
    // Mailbox owners are looked up in `gal`, which has read the organisation's address list; where
    // each folder's messages are is recorded in `files`, which becomes every store's source.
    StoreReader(Organisation& organisation, const ValueSource& source, const GalReader& gal,
                std::shared_ptr<OrganisationFileSource> files)
        : organisation_(organisation), source_(source), gal_(gal), files_(std::move(files))
    {
    }

    // Read one element of "mailboxes", or "publicFolders", into the organisation. Throw ReadError.
    void ReadMailbox(const Json& json, const std::string& path);
    void ReadPublicFolders(const Json& json, const std::string& path);

private:
    void ReadStore(Store& store, const Json& json, const std::string& path, const std::string& subtreeName);
    void DeriveStoreProperties(Store& store);
    // Points the store, the root folder and the Inbox at the special folders found in `folder`.
    void SetSpecialFolderIds(Store& store, const Folder& folder);

    std::uint64_t NewCounter(const std::string& name);
    Folder NewFolder(const std::string& name, const std::string& parentKey);
    void ReadChildFolders(const Json& folders, const std::string& path, Folder& parent, const std::string& parentKey,
                          int depth);
    Folder ReadFolder(const Json& json, const std::string& path, const std::string& parentKey, int depth);
    void MarkSpecial(Folder& folder, const std::string& name, const std::string& path);
    // The .msg files of a directory become the folder's messages, its subdirectories subfolders.
    void ReadDirectory(const std::string& reference, const std::string& path, Folder& folder, const std::string& key,
                       int depth, std::set<std::string>* existingKeys = nullptr);
    void FinishFolder(Folder& folder, const EntryId& parentId, bool isRoot);
    // A message written in the file: its id, or what it is made from, is checked now; its content
    // when it is read.
    void AddMessage(Folder& folder, const Json& json, const std::string& path, const std::string& folderKey,
                    std::set<std::string>& keys, bool associated);
    void AddToIndex(Folder& folder, Message message, const std::string& keyPath, const std::string& folderKey,
                    std::set<std::string>& keys, bool associated);

    // The folders of the Outlook data file that "pst" names, below `subtree` (DataFileFolders.cpp).
    void ReadDataFile(const Json& json, const std::string& path, Folder& subtree, const std::string& subtreeKey);
    struct DataFileWalk {
        const pst::PstStore& file;
        unsigned codePage;
        std::map<std::uint32_t, std::string> specials;  // node id: the special folder's name
        std::string path;
        std::set<std::uint32_t> visited;
    };
    void AddDataFileFolder(DataFileWalk& walk, std::uint32_t nid, Folder& parent, const std::string& parentKey, int depth);

    Organisation& organisation_;
    const ValueSource& source_;
    const GalReader& gal_;
    std::shared_ptr<OrganisationFileSource> files_;
    // The store being read.
    Store* store_ = nullptr;
    std::unique_ptr<NamedPropertyMap> named_;
    std::set<std::uint64_t> counters_;
    std::set<SpecialFolder> specials_;
};

} // namespace platform::orgsource
