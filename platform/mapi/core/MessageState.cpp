// Turning the plain message model (properties, recipients, attachments) into the runtime's values.
#include "platform/mapi/core/MessageState.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/mapi/core/ModelValue.h"

namespace mapi {
namespace {

namespace cfb = platform::cfb;

class Loader {
public:
    Loader(std::span<const cfb::MsgNamedProperty> modelNames, NamedPropertyMap& names, std::shared_ptr<const void> keepAlive)
        : keepAlive_(std::move(keepAlive))
    {
        std::vector<PropertyName> wanted(modelNames.size());
        for (std::size_t i = 0; i < modelNames.size(); ++i) {
            const cfb::MsgNamedProperty& model = modelNames[i];
            wanted[i].propertySet = GuidFromModel(model.propertySet);
            wanted[i].isString = model.isString;
            wanted[i].lid = static_cast<LONG>(model.lid);
            wanted[i].name = model.name;
        }
        const std::vector<std::optional<ULONG>> ids = names.ResolveAll(wanted, true);
        for (std::size_t i = 0; i < modelNames.size(); ++i) {
            if (ids[i])
                ids_.emplace_back(modelNames[i].id, *ids[i]);
        }
        // By the model's id; where the model names one id twice, the later name holds.
        std::stable_sort(ids_.begin(), ids_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        auto last = std::unique(ids_.rbegin(), ids_.rend(), [](const auto& a, const auto& b) { return a.first == b.first; });
        ids_.erase(ids_.begin(), last.base());
    }

    MessageState Message(const cfb::MsgMessage& model)
    {
        MessageState state;
        Properties(model.properties, model.codePage, state.properties);
        for (const cfb::MsgRecipient& recipient : model.recipients) {
            RecipientState& row = state.recipients.emplace_back();
            row.rowId = state.nextRowId++;
            Properties(recipient.properties, model.codePage, row.properties);
        }
        for (const cfb::MsgAttachment& attachment : model.attachments) {
            auto loaded = std::make_shared<AttachmentState>();
            loaded->number = state.nextAttachNumber++;
            Properties(attachment.properties, model.codePage, loaded->properties);
            if (attachment.embedded != nullptr)
                loaded->embedded = std::make_shared<const MessageState>(Message(*attachment.embedded));
            else
                loaded->otherObject = cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_OBJ) != nullptr;
            state.attachments.push_back(std::move(loaded));
        }
        return state;
    }

private:
    // The values of one bag are made together in one block, which holds the model they point into:
    // a value is kept through the block, with no allocation and no hold on the model of its own.
    struct ValueBlock {
        std::shared_ptr<const void> model;
        std::vector<StoredValue> values;
    };

    void Properties(const cfb::MsgPropertyList& model, std::uint32_t codePage, PropertyBag& bag)
    {
        auto block = std::make_shared<ValueBlock>();
        block->model = keepAlive_;
        block->values.reserve(model.size());
        for (const cfb::MsgProperty& property : model) {
            ULONG id = property.Id();
            if (id >= PROP_ID_NAMED_MIN) {
                auto mapped = std::lower_bound(ids_.begin(), ids_.end(), id,
                                               [](const auto& entry, ULONG wanted) { return entry.first < wanted; });
                if (mapped == ids_.end() || mapped->first != id)
                    continue;
                id = mapped->second;
            }
            // A value that cannot be copied for want of memory is left out, as one without a form.
            SCODE status = S_OK;
            if (std::optional<StoredValue> value = ModelValueInPlace(property, PROP_TAG(property.Type(), id), codePage, status))
                block->values.push_back(std::move(*value));
        }
        std::vector<ValuePointer> values;
        values.reserve(block->values.size());
        for (const StoredValue& value : block->values)
            values.emplace_back(block, &value);
        bag.Load(std::move(values));
    }

    std::shared_ptr<const void> keepAlive_;
    std::vector<std::pair<std::uint16_t, ULONG>> ids_;  // the model's named ids, sorted, and the map's
};

} // namespace

MessageState LoadMessageState(const platform::cfb::MsgMessage& message,
                              std::span<const platform::cfb::MsgNamedProperty> modelNames, NamedPropertyMap& names,
                              std::shared_ptr<const void> keepAlive)
{
    return Loader(modelNames, names, std::move(keepAlive)).Message(message);
}

} // namespace mapi
