// The transfer options record that the driver hands to the transfer and the walk copies per level.
#pragma once

#include <cstdint>

namespace ex2qln::transfer {

struct TransferOptions {
    std::uint32_t saveStatus = 0;  // --save-status; carried along
    std::uint32_t skipImap = 0;    // 1 (--skip-imap): mail folders are left out; 2 (--skip-imap2): also folders without a class
    std::uint8_t fixGroups = 0;    // --fix-groups; carried along
    std::uint8_t noAdmin = 0;      // --no-admin: stores are opened as their owner would, online
};

} // namespace ex2qln::transfer
