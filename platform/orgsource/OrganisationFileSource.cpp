// Reading one message of an organisation file when it is asked for.
#include "platform/orgsource/OrganisationFileSource.h"

#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/MessageReader.h"
#include "platform/orgsource/Organisation.h"
#include "platform/orgsource/ReadError.h"

#include <filesystem>

namespace platform::orgsource {

OrganisationFileSource::OrganisationFileSource(std::shared_ptr<const Json> root, std::string name, const ValueSource& source)
    : root_(std::move(root)), name_(std::move(name)), source_(source)
{
}

std::uint64_t OrganisationFileSource::AddFolder()
{
    folders_.emplace_back();
    return folders_.size() - 1;
}

void OrganisationFileSource::SetFolderObject(std::uint64_t folder, const Json& json, std::string path)
{
    folders_.at(folder).json = &json;
    folders_.at(folder).path = std::move(path);
}

void OrganisationFileSource::SetDirectory(std::uint64_t folder, std::string directory, std::string path)
{
    folders_.at(folder).directory = std::move(directory);
    folders_.at(folder).directoryPath = std::move(path);
}

HRESULT OrganisationFileSource::Read(const Folder& folder, const Message& message, bool associated,
                                     cfb::MsgDocument& document, std::string& error) const
{
    document = cfb::MsgDocument();
    HRESULT status = CatchReadError(name_, error, [&] {
        if (folder.locator >= folders_.size()) {
            Fail(MAPI_E_NOT_FOUND, "", "no such folder");
        }
        ReadInto(folders_[folder.locator], message, associated, document);
    });
    if (FAILED(status)) {
        document = cfb::MsgDocument();
    }
    return status;
}

void OrganisationFileSource::ReadInto(const FolderOrigin& origin, const Message& message, bool associated,
                                      cfb::MsgDocument& document) const
{
    NamedPropertyMap named(document.namedProperties);
    MessageReader reader(named, source_);
    if (message.locator == kInDirectory) {
        if (origin.directory.empty()) {
            Fail(MAPI_E_NOT_FOUND, origin.path, "no directory holds " + Quoted(message.key));
        }
        std::string file = (std::filesystem::path(origin.directory) / message.key).string();
        document.message = reader.Read(Json(file), origin.directoryPath, 0, true);
        return;
    }
    const std::string member = associated ? "associated" : "messages";
    const Json* list = origin.json != nullptr ? Member(*origin.json, member) : nullptr;
    if (list == nullptr || !list->is_array() || message.locator >= list->size()) {
        Fail(MAPI_E_NOT_FOUND, origin.path, "no message " + std::to_string(message.locator) + " in " + Quoted(member));
    }
    const std::size_t position = static_cast<std::size_t>(message.locator);
    document.message = reader.Read((*list)[position], ElementPath(MemberPath(origin.path, member), position), 0, true);
}

} // namespace platform::orgsource
