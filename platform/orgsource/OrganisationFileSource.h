// The message source of an organisation file: messages written in the file, found again by their
// position in their folder's "messages" or "associated", and the .msg files of folders' directories,
// found by their names. The parsed file stays in memory as the index of the former; nothing of a
// message is read before it is asked for.
#pragma once

#include "platform/orgsource/MessageSource.h"
#include "platform/orgsource/PropertyReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::orgsource {

class OrganisationFileSource final : public MessageSource {
public:
    // The locator of a message that is a .msg file of its folder's directory, named by its key.
    static constexpr std::uint64_t kInDirectory = ~std::uint64_t{0};

    // `root` is the parsed file called `name` in error texts; files are found as `source` says.
    OrganisationFileSource(std::shared_ptr<const Json> root, std::string name, const ValueSource& source);

    // While the file is read: a new folder, whose locator is the number returned; the folder's
    // object in the file (for messages at a position) with its JSON path; the directory of its .msg
    // files (absolute) with the JSON path that names it.
    std::uint64_t AddFolder();
    void SetFolderObject(std::uint64_t folder, const Json& json, std::string path);
    void SetDirectory(std::uint64_t folder, std::string directory, std::string path);

    HRESULT Read(const Folder& folder, const Message& message, bool associated, cfb::MsgDocument& document,
                 std::string& error) const override;

private:
    struct FolderOrigin {
        const Json* json = nullptr;  // null for a folder made from a directory alone
        std::string path;
        std::string directory;
        std::string directoryPath;
    };

    void ReadInto(const FolderOrigin& origin, const Message& message, bool associated, cfb::MsgDocument& document) const;

    std::shared_ptr<const Json> root_;
    std::string name_;
    ValueSource source_;
    std::vector<FolderOrigin> folders_;
};

} // namespace platform::orgsource
