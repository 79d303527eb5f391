// The organisation file reader: the file's top level, with the Global Address List (GalReader) and
// the stores (StoreReader) under it, and the entry points that turn a fault into a status and a text.
// Messages are not read here but by the stores' source when they are asked for.
#include "platform/orgsource/OrganisationReader.h"

#include "platform/orgsource/GalReader.h"
#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/OrganisationFileSource.h"
#include "platform/orgsource/PropertyReader.h"
#include "platform/orgsource/ReadError.h"
#include "platform/orgsource/StoreReader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform::orgsource {
namespace {

constexpr std::int64_t kFormatVersion = 1;

// Each member names a store and holds an array of certificates, each in a form of binary values.
void ReadCertificateStores(const Json& stores, const std::string& path, const ValueSource& source,
                           Organisation& organisation)
{
    if (!stores.is_object()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected an object of certificate stores");
    }
    for (auto store = stores.begin(); store != stores.end(); ++store) {
        if (store.key() == "comment") {
            continue;
        }
        const std::string storePath = MemberPath(path, store.key());
        const Json* certificates = OptionalArray(stores, store.key(), path);
        std::vector<Bytes>& kept = organisation.certificateStores[Lower(store.key())];
        for (std::size_t i = 0; i < certificates->size(); ++i) {
            kept.push_back(ReadBinary((*certificates)[i], ElementPath(storePath, i), source));
        }
    }
}

void ReadRoot(std::shared_ptr<const Json> parsed, const std::optional<std::string>& baseDirectory, Organisation& organisation)
{
    const Json& root = *parsed;
    CheckMembers(root, "", {"formatVersion", "name", "gal", "mailboxes", "publicFolders", "certificateStores"});
    if (const Json* version = Member(root, "formatVersion");
        version != nullptr && (!version->is_number_integer() || version->get<std::int64_t>() != kFormatVersion)) {
        Fail(MAPI_E_BAD_VALUE, "formatVersion", "only format version 1 is known");
    }
    const ValueSource source{baseDirectory.value_or(""), baseDirectory.has_value()};
    organisation.name = OptionalString(root, "name", "").value_or("");
    organisation.galEntryId = MakeAddressBookEntryId(DT_GLOBAL, "");
    GalReader gal(organisation, source);
    if (const Json* entries = OptionalArray(root, "gal", "")) {
        gal.Read(*entries, "gal");
    }
    auto files = std::make_shared<OrganisationFileSource>(std::move(parsed), organisation.path, source);
    StoreReader stores(organisation, source, gal, std::move(files));
    if (const Json* mailboxes = OptionalArray(root, "mailboxes", "")) {
        for (std::size_t i = 0; i < mailboxes->size(); ++i) {
            stores.ReadMailbox((*mailboxes)[i], ElementPath("mailboxes", i));
        }
    }
    if (const Json* publicFolders = Member(root, "publicFolders")) {
        stores.ReadPublicFolders(*publicFolders, "publicFolders");
    }
    if (const Json* certificates = Member(root, "certificateStores")) {
        ReadCertificateStores(*certificates, "certificateStores", source, organisation);
    }
}

std::string DirectoryOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

HRESULT ReadOrganisationText(std::string_view text, std::string_view name, const std::optional<std::string>& baseDirectory,
                             Organisation& organisation, std::string& error)
{
    organisation = Organisation();
    return CatchReadError(name, error, [&] {
        // The parsed file stays: it is the index of the messages written in it.
        auto root = std::make_shared<const Json>(ParseJson(text));
        Organisation result;
        result.path = std::string(name);
        ReadRoot(std::move(root), baseDirectory, result);
        result.BuildIndex();
        organisation = std::move(result);
    });
}

HRESULT ReadOrganisationFile(const std::string& path, Organisation& organisation, std::string& error)
{
    organisation = Organisation();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        int code = errno == 0 ? ENOENT : errno;
        error = path + ": cannot open the file: " + std::strerror(code);
        return HResultFromErrno(code);
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot read the file";
        return HResultFromErrno(EIO);
    }
    return ReadOrganisationText(content.str(), path, DirectoryOf(path), organisation, error);
}

} // namespace platform::orgsource
