// CGroupMsg: Outlook distribution lists as Internet messages whose body is one VGROUP, written with
// the content-line writer that calendars use, one MEMBER line per member that has an address.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "mmconv/contact/ContactMsg.h"

namespace mmconv {

class CGroupMsg final : public CContactMsg {
public:
    using CContactMsg::CContactMsg;

    // With kFlagSaveAsTnef the list travels as native TNEF; otherwise as the core writes it.
    HRESULT SaveContent(MimeOutput& output) override;
    // The core's list; in export mode an empty To field names the list by the start of its body.
    HRESULT GetRecipients(ULONG type, std::string& list) override;
    HRESULT SaveContactHeader(MimeOutput& output) override;
    HRESULT SaveContactContent(MimeOutput& output) override;

private:
    struct Member {
        std::u16string name;
        std::u16string address;
    };

    HRESULT SaveGroupMembers(MimeOutput& output, unsigned& column);
    HRESULT SaveMember(MimeOutput& output, unsigned& column, const Member& member);
    // A member identifier opened through the support context (itself, else the identifier it
    // wraps), else read as a one-off identifier; absent when it yields no address.
    std::optional<Member> ResolveMember(std::span<const std::uint8_t> entryId);
    std::optional<Member> OpenMember(std::span<const std::uint8_t> entryId);
    std::optional<Member> ReadOneOffMember(std::span<const std::uint8_t> entryId);
};

} // namespace mmconv
