// Locating and reading the messages of an organisation in the tests.
#include "tests/platform/orgsource/OrganisationMessages.h"

#include <gtest/gtest.h>

namespace orgtest {
namespace {

void Visit(const org::Folder& folder, org::ObjectLocation& at, const std::function<void(const org::ObjectLocation&)>& visit)
{
    for (bool associated : {false, true}) {
        std::size_t count = (associated ? folder.associated : folder.messages).size();
        for (std::size_t i = 0; i < count; ++i) {
            visit(MessageIn(at.storeIndex, at.folderPath, i, associated));
        }
    }
    for (std::size_t c = 0; c < folder.folders.size(); ++c) {
        at.folderPath.push_back(c);
        Visit(folder.folders[c], at, visit);
        at.folderPath.pop_back();
    }
}

} // namespace

org::ObjectLocation MessageIn(std::size_t store, std::vector<std::size_t> folderPath, std::size_t index, bool associated)
{
    org::ObjectLocation location;
    location.kind = org::EntryIdKind::Message;
    location.storeIndex = store;
    location.folderPath = std::move(folderPath);
    location.associated = associated;
    location.messageIndex = index;
    return location;
}

platform::cfb::MsgDocument ReadOrFail(const org::Organisation& organisation, const org::ObjectLocation& location)
{
    platform::cfb::MsgDocument document;
    std::string error;
    HRESULT status = organisation.ReadMessage(location, document, error);
    EXPECT_EQ(status, S_OK) << error;
    return document;
}

void ForEachMessage(const org::Organisation& organisation, std::size_t store,
                    const std::function<void(const org::ObjectLocation&)>& visit)
{
    org::ObjectLocation at;
    at.storeIndex = store;
    Visit(organisation.stores.at(store).root, at, visit);
}

} // namespace orgtest
