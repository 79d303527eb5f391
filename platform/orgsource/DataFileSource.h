// The message source of a store served from an Outlook data file (.pst, .ost): messages of the
// folders that came from the data file are read from it by their node ids, the others (folders the
// organisation file adds beside them) from the organisation file's source.
#pragma once

#include "platform/orgsource/MessageSource.h"
#include "platform/pst/PstStore.h"

#include <cstdint>
#include <memory>

namespace platform::orgsource {

class DataFileSource final : public MessageSource {
public:
    // The locator of a folder from the data file is this bit with the folder's node id.
    static constexpr std::uint64_t kDataFileFolder = std::uint64_t{1} << 62;

    // 8-bit strings that do not say their code page are read in `codePage`.
    DataFileSource(std::shared_ptr<const pst::PstStore> file, unsigned codePage, std::shared_ptr<const MessageSource> others)
        : file_(std::move(file)), codePage_(codePage), others_(std::move(others))
    {
    }

    HRESULT Read(const Folder& folder, const Message& message, bool associated, cfb::MsgDocument& document,
                 std::string& error) const override;

private:
    std::shared_ptr<const pst::PstStore> file_;
    unsigned codePage_;
    std::shared_ptr<const MessageSource> others_;
};

} // namespace platform::orgsource
