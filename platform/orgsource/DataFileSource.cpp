// Reading a message of a data file when it is asked for.
#include "platform/orgsource/DataFileSource.h"

#include "platform/orgsource/Organisation.h"

namespace platform::orgsource {

HRESULT DataFileSource::Read(const Folder& folder, const Message& message, bool associated, cfb::MsgDocument& document,
                             std::string& error) const
{
    if ((folder.locator & kDataFileFolder) == 0) {
        return others_->Read(folder, message, associated, document, error);
    }
    return file_->ReadMessage(static_cast<std::uint32_t>(message.locator), codePage_, document, error);
}

} // namespace platform::orgsource
