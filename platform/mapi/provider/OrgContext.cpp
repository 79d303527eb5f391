// Preparing an organisation for the objects of a logon.
#include "platform/mapi/provider/OrgContext.h"

#include <cstring>
#include <new>

#include "platform/mapi/provider/ModelValues.h"

namespace mapi {

HRESULT OrgContext::Create(std::shared_ptr<const org::Organisation> organisation, std::optional<std::size_t> mailbox,
                           std::shared_ptr<const OrgContext>& result)
{
    try {
        auto context = std::make_shared<OrgContext>();
        context->organisation = std::move(organisation);
        context->mailbox = mailbox;
        context->addressBookNames = std::make_shared<NamedPropertyMap>();
        for (const org::GalEntry& entry : context->organisation->gal) {
            SCODE status = LoadModelValues(entry.properties, nullptr, context->galValues.emplace_back());
            if (status != S_OK)
                return status;
        }
        for (const org::Store& store : context->organisation->stores) {
            // The folders' names are given ids first, in the model's order; the messages' names
            // follow as the messages are read.
            auto names = std::make_shared<NamedPropertyMap>();
            std::map<std::uint16_t, ULONG>& ids = context->storeNamedIds.emplace_back();
            for (const platform::cfb::MsgNamedProperty& model : store.namedProperties) {
                PropertyName name;
                std::memcpy(&name.propertySet, model.propertySet.data(), sizeof(GUID));
                name.isString = model.isString;
                name.lid = static_cast<LONG>(model.lid);
                name.name = model.name;
                if (std::optional<ULONG> id = names->Resolve(name, true))
                    ids[model.id] = *id;
            }
            context->storeNames.push_back(std::move(names));
        }
        result = std::move(context);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
}

LONG OrgContext::UnreadMessages(const org::ObjectLocation& location) const
{
    const org::Folder* folder = Org().FolderAt(location);
    if (folder == nullptr)
        return 0;
    std::pair<std::size_t, std::uint64_t> key(location.storeIndex, folder->counter);
    {
        std::lock_guard lock(unreadMutex_);
        if (auto found = unread_.find(key); found != unread_.end())
            return found->second;
    }
    // Counted without the lock, so that other folders are not held up meanwhile.
    auto count = static_cast<LONG>(Org().UnreadMessages(location));
    std::lock_guard lock(unreadMutex_);
    unread_.emplace(key, count);
    return count;
}

} // namespace mapi
