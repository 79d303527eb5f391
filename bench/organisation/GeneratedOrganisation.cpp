// Writing the benchmark's organisation: .msg files through the project's writer, and organisation
// files that list them by directory beside messages written inline.
#include "bench/organisation/GeneratedOrganisation.h"

#include "platform/cfb/MsgWriter.h"

#include <mapitags.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace bench {
namespace {

namespace cfb = platform::cfb;

constexpr cfb::Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kReminderSetTag = 0x8000000B;  // PidLidReminderSet at the file's first named id
constexpr std::int64_t kFirstDelivery = 133500000000000000;  // a FILETIME in 2024
constexpr std::int64_t kHour = 36000000000;

std::string Account(std::size_t mailbox)
{
    return "user" + std::to_string(mailbox);
}

std::string DirectoryOf(std::size_t mailbox, std::size_t directory)
{
    return "m" + std::to_string(mailbox) + "/folder" + std::to_string(directory);
}

cfb::MsgProperty Text(std::uint32_t tag, const std::string& text)
{
    cfb::MsgProperty property;
    property.tag = tag;
    property.text.assign(text.begin(), text.end());
    return property;
}

cfb::MsgProperty Integer(std::uint32_t tag, std::int64_t value)
{
    cfb::MsgProperty property;
    property.tag = tag;
    property.integer = value;
    return property;
}

// A mail with a sender, one recipient, a body, a named property and one attachment of `data`.
cfb::MsgDocument MakeMessage(std::size_t number, const std::vector<std::uint8_t>& data)
{
    cfb::MsgDocument document;
    cfb::MsgNamedProperty reminder;
    reminder.id = 0x8000;
    reminder.propertySet = kPsetidCommon;
    reminder.lid = 0x8503;
    document.namedProperties.push_back(reminder);

    cfb::MsgMessage& message = document.message;
    std::string subject = "Generated message " + std::to_string(number);
    std::string body;
    for (int line = 0; line < 30; ++line)
        body += "Line " + std::to_string(line) + " of the body of " + subject + ", written for the benchmark.\r\n";
    message.properties = {Text(PR_MESSAGE_CLASS_W, "IPM.Note"),
                          Text(PR_SUBJECT_W, subject),
                          Text(PR_BODY_W, body),
                          Text(PR_SENDER_NAME_W, "Sender " + std::to_string(number % 97)),
                          Text(PR_SENDER_ADDRTYPE_W, "SMTP"),
                          Text(PR_SENDER_EMAIL_ADDRESS_W, "sender" + std::to_string(number % 97) + "@bench.example"),
                          Integer(PR_MESSAGE_DELIVERY_TIME, kFirstDelivery + static_cast<std::int64_t>(number) * kHour),
                          Integer(PR_MESSAGE_FLAGS, number % 3 == 0 ? 0 : MSGFLAG_READ),
                          Integer(kReminderSetTag, number % 2)};
    cfb::MsgRecipient& recipient = message.recipients.emplace_back();
    recipient.properties = {Integer(PR_RECIPIENT_TYPE, MAPI_TO), Text(PR_DISPLAY_NAME_W, "Recipient"),
                            Text(PR_ADDRTYPE_W, "SMTP"), Text(PR_EMAIL_ADDRESS_W, "recipient@bench.example")};
    cfb::MsgAttachment& attachment = message.attachments.emplace_back();
    cfb::MsgProperty bytes;
    bytes.tag = PR_ATTACH_DATA_BIN;
    bytes.bytes = data;
    std::memcpy(bytes.bytes.data(), &number, std::min(sizeof number, bytes.bytes.size()));
    attachment.properties = {Integer(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                             Text(PR_ATTACH_LONG_FILENAME_W, "data-" + std::to_string(number) + ".bin"),
                             std::move(bytes)};
    return document;
}

std::string InlineMessage(std::size_t mailbox, std::size_t number)
{
    std::ostringstream out;
    out << R"({"id": "note)" << number << R"(", "properties": {"PR_MESSAGE_CLASS": "IPM.StickyNote", "PR_SUBJECT": "Note )"
        << number << " of " << Account(mailbox) << R"(", "PR_BODY": "A note written in the organisation file.",)"
        << R"( "PR_MESSAGE_FLAGS": )" << (number % 2) << R"(, "PidLidReminderSet": false},)"
        << R"( "recipients": [{"PR_RECIPIENT_TYPE": 1, "PR_DISPLAY_NAME": "Recipient", "PR_ADDRTYPE": "SMTP",)"
        << R"( "PR_EMAIL_ADDRESS": "recipient@bench.example"}],)"
        << R"( "attachments": [{"properties": {"PR_ATTACH_LONG_FILENAME": "note.txt"}, "data": {"text": ")"
        << std::string(2048, 'n') << R"("}}]})";
    return out.str();
}

} // namespace

HRESULT WriteMessageFiles(const std::string& directory, const OrganisationShape& shape, std::string& error)
{
    std::vector<std::uint8_t> data(shape.attachmentBytes);
    std::mt19937 generator(20);
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>(generator());
    std::size_t number = 0;
    for (std::size_t mailbox = 0; mailbox < shape.mailboxes; ++mailbox) {
        for (std::size_t folder = 0; folder < shape.directoriesPerMailbox; ++folder) {
            std::filesystem::path folderPath = std::filesystem::path(directory) / DirectoryOf(mailbox, folder);
            std::error_code created;
            std::filesystem::create_directories(folderPath, created);
            if (created) {
                error = folderPath.string() + ": " + created.message();
                return HResultFromErrno(created.value());
            }
            for (std::size_t m = 0; m < shape.messagesPerDirectory; ++m, ++number) {
                std::string name = std::to_string(m);
                name = "message-" + std::string(name.size() < 6 ? 6 - name.size() : 0, '0') + name + ".msg";
                HRESULT status = cfb::WriteMsgFile((folderPath / name).string(), MakeMessage(number, data), error);
                if (FAILED(status))
                    return status;
            }
        }
    }
    return S_OK;
}

HRESULT WriteOrganisationFile(const std::string& path, const OrganisationShape& shape, std::size_t directories,
                              std::size_t& messages, std::string& error)
{
    const std::string homeMdb = "/o=Bench/ou=Site/cn=Configuration/cn=Servers/cn=BENCH1/cn=Microsoft Private MDB";
    std::ostringstream out;
    out << R"({"formatVersion": 1, "name": "Benchmark", "gal": [)";
    for (std::size_t mailbox = 0; mailbox < shape.mailboxes; ++mailbox) {
        out << (mailbox == 0 ? "" : ", ") << R"({"kind": "user", "account": ")" << Account(mailbox)
            << R"(", "dn": "/o=Bench/ou=Site/cn=Recipients/cn=)" << Account(mailbox) << R"(", "smtp": ")"
            << Account(mailbox) << R"(@bench.example", "displayName": "User )" << mailbox << R"(", "homeMdb": ")"
            << homeMdb << R"("})";
    }
    out << R"(], "mailboxes": [)";
    messages = 0;
    for (std::size_t mailbox = 0; mailbox < shape.mailboxes; ++mailbox) {
        out << (mailbox == 0 ? "" : ", ") << R"({"user": ")" << Account(mailbox) << R"(", "folders": [)";
        for (std::size_t folder = 0; folder < directories; ++folder) {
            out << R"({"name": "Folder )" << folder << R"(", "class": "IPF.Note", )"
                << (folder == 0 ? R"("special": "inbox", )" : "") << R"("directory": ")" << DirectoryOf(mailbox, folder)
                << R"("}, )";
            messages += shape.messagesPerDirectory;
        }
        out << R"({"name": "Notes", "class": "IPF.StickyNote", "messages": [)";
        for (std::size_t note = 0; note < shape.inlineMessagesPerMailbox; ++note)
            out << (note == 0 ? "" : ", ") << InlineMessage(mailbox, note);
        out << "]}]}";
        messages += shape.inlineMessagesPerMailbox;
    }
    out << "]}\n";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        error = path + ": cannot be written: " + std::strerror(errno);
        return HResultFromErrno(errno == 0 ? EIO : errno);
    }
    return S_OK;
}

} // namespace bench
