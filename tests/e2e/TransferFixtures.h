// What the transfer tests share: the demo organisation and a small organisation with the folders
// and messages the faults act on, what a source message's properties call for on the server, and
// the lines that report a failed message.
#pragma once

#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace e2e::transfer {

using nlohmann::json;

inline const std::string kDemoOrganisation = EX2QLN_SOURCE_DIR "/samples/demo-org/organisation.json";
inline constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A source folder of the demo organisation: the mailbox's user ("" for the public folders) and the
// display names on the way down.
inline const json* SourceFolder(const json& organisation, const std::string& user, const std::vector<std::string>& names)
{
    const json* folders = nullptr;
    if (user.empty()) {
        folders = &organisation["publicFolders"]["folders"];
    } else {
        for (const json& mailbox : organisation["mailboxes"]) {
            if (mailbox["user"] == user)
                folders = &mailbox["folders"];
        }
    }
    const json* found = nullptr;
    for (const std::string& name : names) {
        if (folders == nullptr)
            return nullptr;
        found = nullptr;
        for (const json& folder : *folders) {
            if (folder.is_object() && folder.value("name", "") == name)
                found = &folder;
        }
        if (found == nullptr)
            return nullptr;
        folders = found->contains("folders") ? &(*found)["folders"] : nullptr;
    }
    return found;
}

// The messages of a source folder, none for a folder without a source (`names` empty); nullopt
// when the organisation has no such folder.
inline std::optional<json> SourceMessages(const json& organisation, const std::string& user,
                                          const std::vector<std::string>& names)
{
    if (names.empty())
        return json::array();
    const json* source = SourceFolder(organisation, user, names);
    if (source == nullptr)
        return std::nullopt;
    return source->value("messages", json::array());
}

// The messages read back for one folder of one account, none when it is not there.
inline json HeldMessages(const json& held, const std::string& account, const std::string& path)
{
    for (const json& candidate : held.value(account, json::array())) {
        if (candidate["path"] == path)
            return candidate["messages"];
    }
    return json::array();
}

// The flags a source message's properties call for, in the order the upload writes them.
inline std::vector<std::string> ExpectedFlags(const json& properties)
{
    std::vector<std::string> flags;
    const int icon = properties.value("PR_ICON_INDEX", 0);
    const int messageFlags = properties.value("PR_MESSAGE_FLAGS", 0);
    if (icon == 0x105)
        flags.push_back("\\Answered");
    if (icon == 0x106)
        flags.push_back("Forwarded");
    if (properties.value("PR_FLAG_STATUS", 0) == 2)
        flags.push_back("\\Flagged");
    if (messageFlags & 1)
        flags.push_back("\\Seen");
    if (messageFlags & 8)
        flags.push_back("\\Draft");
    return flags;
}

// "2024-04-02T07:55:03Z" as IMAP writes it; "" without a delivery time.
inline std::string ExpectedDate(const json& properties)
{
    if (!properties.contains("PR_MESSAGE_DELIVERY_TIME"))
        return "";
    const std::string iso = properties["PR_MESSAGE_DELIVERY_TIME"];
    const int month = std::stoi(iso.substr(5, 2));
    return iso.substr(8, 2) + "-" + kMonths[month - 1] + "-" + iso.substr(0, 4) + " " + iso.substr(11, 8) + " +0000";
}

inline const std::string kMdb = "/o=Fix/cn=Servers/cn=SRV1/cn=Microsoft Private MDB";

inline std::string User(const std::string& account, const std::string& home)
{
    return R"({"kind": "user", "account": ")" + account + R"(", "dn": "/o=Fix/cn=)" + account + R"(", "smtp": ")" +
           account + R"(@example.com", "displayName": ")" + account + "\", " + home + "}";
}

inline std::string Note(const std::string& subject, const std::string& extra = "")
{
    return R"({"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": ")" + subject +
           R"(", "PR_BODY": "Text of )" + subject + "\"" + extra + "}}";
}

// ann: folders A (two messages) and B (one, from ben, an Exchange sender) and a calendar; odd: a
// folder whose name the server cannot take; mta: homed by its transfer agent.
inline const std::string kSmallOrganisation = R"({"formatVersion": 1, "gal": [)" +
    User("ann", R"("homeMdb": ")" + kMdb + "\"") + ",\n" +
    User("ben", R"("homeMdb": ")" + kMdb + "\"") + ",\n" +
    User("mta", R"("homeMta": "/o=Fix/cn=Servers/cn=SRV2/cn=Microsoft MTA")") + ",\n" +
    User("nocn", R"("homeMta": "/o=Fix/ou=Site")") + ",\n" +
    User("nohome", R"("properties": {})") + ",\n" +
    User("odd", R"("homeMdb": ")" + kMdb + "\"") + R"(],
 "mailboxes": [
  {"user": "ann", "folders": [
   {"name": "A", "class": "IPF.Note", "messages": [)" +
    Note("First of A", R"(, "PR_MESSAGE_DELIVERY_TIME": "2024-03-01T10:00:00Z", "PR_MESSAGE_FLAGS": 1)") + ", " +
    Note("Second of A") + R"(]},
   {"name": "B", "class": "IPF.Note", "messages": [)" +
    Note("Only of B", R"(, "PR_SENDER_NAME": "ben", "PR_SENDER_ADDRTYPE": "EX", "PR_SENDER_EMAIL_ADDRESS": "/o=Fix/cn=ben",
         "PR_SENDER_ENTRYID": "00000000DCA740C8C042101AB4B908002B2FE18201000000000000002F6F3D4669782F636E3D62656E00")") +
    R"(]},
   {"name": "Cal", "class": "IPF.Appointment", "messages": [
     {"properties": {"PR_MESSAGE_CLASS": "IPM.Appointment", "PR_SUBJECT": "Review",
                     "PidLidAppointmentStartWhole": "2024-03-04T09:00:00Z", "PidLidAppointmentEndWhole": "2024-03-04T10:00:00Z"}}]}]},
  {"user": "mta", "folders": [{"name": "Inbox", "special": "inbox", "messages": [)" + Note("For mta") + R"(]}]},
  {"user": "odd", "folders": [{"name": ".hidden", "messages": [)" + Note("Hidden") + R"(]}]}
 ]})";

inline const std::string kAccountsHeader = "account,dn,mailbox\n";
inline std::string AccountLine(const std::string& account) { return account + ",/o=Fix/cn=" + account + "," + account + "@example.com\n"; }

// The lines that report a failed message; `error` is the client's error text, a regular
// expression, or empty when the failure has none.
inline std::string FailedMessage(const std::string& subject, bool delivered, const std::string& status,
                          const std::string& error, const std::string& saved)
{
    std::string text = "\nUnable to convert or upload message contents \\[" + status + "\\]\\.\n\tSubject: " + subject + "\n";
    if (delivered)
        text += "\tDelivered: 03/01/24 10:00:00\n";
    if (!error.empty())
        text += "\n\tError: " + error + "\\. \\[" + status + "\\]\n";
    if (!saved.empty())
        text += "\nSaving problematic message as " + saved +
                " \\.\\.\\.\nMessage saved\\. You may need to contact Technical Support for assistance\\.\n";
    return text;
}

inline std::string Literal(std::string text)
{
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// Runs a read-back script (tests/server) with `arguments` and "--save" `saved`, where it writes the
// messages: its "accounts" object, empty (and a test failure) when it fails.
inline json ReadBackAccounts(std::vector<std::string> arguments, const std::string& saved)
{
    std::filesystem::create_directories(saved);
    testsupport::ProcessRun run;
    run.program = "/usr/bin/python3";
    run.arguments = std::move(arguments);
    run.arguments.insert(run.arguments.end(), {"--save", saved});
    const testsupport::ProcessResult result = testsupport::RunProcess(run);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    const json document = json::parse(result.standardOutput, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << result.standardOutput;
    return document.is_discarded() ? json::object() : document["accounts"];
}

} // namespace e2e::transfer
