// The sweep over the shared Outlook samples: qlnconvert converts every one, the independent readers
// accept each result (GMime strict, Python's email package, our MIME rules, tnef and ytnef on TNEF
// parts), every attachment decodes to the source's bytes, the text body is the source's PR_BODY,
// an HTML source gives an HTML body, and "cid:" references resolve wherever the source has the part.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <mapitags.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/Utf8.h"
#include "platform/cfb/MsgFile.h"
#include "platform/rtf/RtfDecompressor.h"
#include "tests/e2e/ProgramTest.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/OutputValidators.h"

namespace e2e {
namespace {

using platform::cfb::FindProperty;
using platform::cfb::MsgDocument;
using platform::cfb::MsgMessage;
using platform::cfb::MsgProperty;

const std::string kQlnConvert = EX2QLN_BIN_DIR "/qlnconvert";
constexpr std::uint32_t kClassTag = 0x001A001F;
constexpr std::uint32_t kClassTagAnsi = 0x001A001E;

std::string Sha256(const std::vector<std::uint8_t>& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0xF];
    }
    return text;
}

// A string property in UTF-8, from either form; empty without it.
std::string Text(const MsgMessage& message, std::uint32_t id)
{
    if (const MsgProperty* wide = FindProperty(message.properties, (id << 16) | PT_UNICODE))
        return mmconv::WideToUtf8(wide->text);
    if (const MsgProperty* narrow = FindProperty(message.properties, (id << 16) | PT_STRING8)) {
        std::u16string text;
        mmconv::Encoding2Unicode(std::string(narrow->bytes.begin(), narrow->bytes.end()),
            message.codePage != 0 ? message.codePage : 1252, text);
        return mmconv::WideToUtf8(text);
    }
    return {};
}

std::string MessageClass(const MsgMessage& message)
{
    std::string text = Text(message, kClassTag >> 16);
    return text.empty() && FindProperty(message.properties, kClassTagAnsi) == nullptr ? std::string() : text;
}

// White space runs as one blank, none at the ends.
std::string Normalised(const std::string& text)
{
    std::string result;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            blank = true;
            continue;
        }
        if (blank && !result.empty())
            result += ' ';
        blank = false;
        result += c;
    }
    return result;
}

struct SourceFiles {
    std::multiset<std::string> digests;       // of every file by value
    std::multiset<std::string> parsedParts;   // files of a message/* type other than rfc822, by name
    std::set<std::string> contentIds;         // of every attachment
};

// The files of a message, embedded messages' own included. The readers parse message/* parts other
// than message/rfc822 (message/delivery-status) into fields and give no digest for them; those
// files are found by their name and type.
void CollectAttachments(const MsgMessage& message, SourceFiles& files)
{
    for (const platform::cfb::MsgAttachment& attachment : message.attachments) {
        const MsgProperty* method = FindProperty(attachment.properties, PR_ATTACH_METHOD);
        const MsgProperty* data = FindProperty(attachment.properties, PR_ATTACH_DATA_BIN);
        const MsgProperty* type = FindProperty(attachment.properties, PR_ATTACH_MIME_TAG_W);
        const MsgProperty* name = FindProperty(attachment.properties, PR_ATTACH_LONG_FILENAME_W);
        const std::string mediaType = type != nullptr ? mmconv::WideToUtf8(type->text) : "";
        if (method != nullptr && method->integer == ATTACH_BY_VALUE && data != nullptr) {
            if (mediaType.starts_with("message/") && mediaType != "message/rfc822")
                files.parsedParts.insert(mediaType + " " + (name != nullptr ? mmconv::WideToUtf8(name->text) : ""));
            else
                files.digests.insert(Sha256(data->bytes));
        }
        if (const MsgProperty* id = FindProperty(attachment.properties, PR_ATTACH_CONTENT_ID_W))
            files.contentIds.insert(mmconv::WideToUtf8(id->text));
        if (attachment.embedded)
            CollectAttachments(*attachment.embedded, files);
    }
}

bool HasHtml(const MsgMessage& message)
{
    if (FindProperty(message.properties, PR_HTML) != nullptr)
        return true;
    const MsgProperty* compressed = FindProperty(message.properties, PR_RTF_COMPRESSED);
    std::string rtf;
    return compressed != nullptr && SUCCEEDED(platform::rtf::DecompressRtf(compressed->bytes, rtf)) &&
           rtf.substr(0, 512).find("\\fromhtml1") != std::string::npos;
}

// PSETID_Address in its stored byte order, and the LID of a list's one-off member identifiers.
constexpr platform::cfb::Guid kAddressSet = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kLidOneOffMembers = 0x8054;

struct ListMember {
    std::string name;
    std::string address;
    auto operator<=>(const ListMember&) const = default;
};

// A UTF-16 string that ends with a zero at `at`; advances past it. Empty when the data ends first.
std::optional<std::u16string> TakeUtf16(const std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    std::u16string text;
    for (; at + 1 < bytes.size(); at += 2) {
        const char16_t c = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (c == 0) {
            at += 2;
            return text;
        }
        text += c;
    }
    return std::nullopt;
}

// The members a list names with an address, read from its one-off identifiers (flags, provider UID,
// version, string flags with 0x8000 for UTF-16, then name, address type and address), as a reader
// of the list would show them: quotes and backslashes in names as blanks.
std::vector<ListMember> OneOffMembers(const MsgDocument& document)
{
    std::vector<ListMember> members;
    for (const platform::cfb::MsgNamedProperty& named : document.namedProperties) {
        if (named.isString || named.lid != kLidOneOffMembers || named.propertySet != kAddressSet)
            continue;
        const MsgProperty* list = FindProperty(document.message.properties, (std::uint32_t{named.id} << 16) | PT_MV_BINARY);
        for (const std::vector<std::uint8_t>& entry : list != nullptr ? list->byteValues : std::vector<std::vector<std::uint8_t>>()) {
            std::size_t at = 24;
            if (entry.size() < at || (entry[23] & 0x80) == 0)
                continue;
            const std::optional<std::u16string> name = TakeUtf16(entry, at);
            const std::optional<std::u16string> type = TakeUtf16(entry, at);
            const std::optional<std::u16string> address = TakeUtf16(entry, at);
            if (!address || address->empty() || type == u"MAPIPDL")
                continue;
            std::string shown = mmconv::WideToUtf8(*name);
            std::replace(shown.begin(), shown.end(), '"', ' ');
            std::replace(shown.begin(), shown.end(), '\\', ' ');
            members.push_back({shown, mmconv::WideToUtf8(*address)});
        }
    }
    return members;
}

void ExpectListMembers(const MsgDocument& source, const std::string& output)
{
    const testsupport::ValidatorListing listing = testsupport::ListGroupMembers(output);
    ASSERT_TRUE(listing.ok) << listing.error;
    ASSERT_EQ(listing.document["groups"].size(), 1u);
    std::vector<ListMember> written;
    for (const nlohmann::json& member : listing.document["groups"][0]["members"])
        written.push_back({member["name"].is_string() ? member["name"].get<std::string>() : "",
            member["address"].get<std::string>()});
    EXPECT_EQ(written, OneOffMembers(source));
    EXPECT_FALSE(written.empty());
}

class SampleSweep : public ProgramTest {};

TEST_F(SampleSweep, EveryOutlookSampleConvertsAndReadsBack)
{
    const std::vector<std::filesystem::path> samples = testsupport::OutlookSampleFiles();
    if (samples.empty()) {
        GTEST_SKIP() << "the Outlook samples are not at " << testsupport::OutlookSamplesDirectory();
    }
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    EX2QLN_SKIP_WITHOUT_VALIDATORS("parts");

    std::vector<std::string> arguments = {"--user=owner@example.test", "--name=Mailbox Owner", "-o", work_.Path()};
    for (const std::filesystem::path& sample : samples)
        arguments.push_back(sample.string());
    testsupport::ProcessRun run = IsolatedRun(kQlnConvert, arguments);
    run.timeout = std::chrono::seconds(120);
    const testsupport::ProcessResult converted = testsupport::RunProcess(run);
    ASSERT_EQ(converted.exitCode, 0) << converted.standardError;
    EXPECT_EQ(converted.standardError, "");

    int htmlSources = 0;
    for (const std::filesystem::path& sample : samples) {
        SCOPED_TRACE(sample.filename().string());
        MsgDocument source;
        std::string error;
        ASSERT_EQ(platform::cfb::ReadMsgFile(sample.string(), source, error), S_OK) << error;
        const std::string messageClass = MessageClass(source.message);
        const bool signedEntity = messageClass == "IPM.Note.SMIME.MultipartSigned";
        // A contact's or a list's body travels inside its card or group as the NOTE.
        const bool cardItem = messageClass == "IPM.Contact" || messageClass == "IPM.DistList";
        const std::string output = (std::filesystem::path(work_.Path()) / sample.filename().replace_extension(".eml")).string();

        // The signed entity is the sender's, copied unchanged: our own rules may find fault inside it
        // (GMime and Python's email package may not).
        const testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(testsupport::OutputCheck::Message, output);
        ASSERT_TRUE(verdict.ran) << verdict.Describe();
        for (const testsupport::ValidatorProblem& problem : verdict.ProblemsExcept({"cid"})) {
            const bool insideSignedEntity = signedEntity && problem.checker == "mime" &&
                                            problem.location.find("#1.") != std::string::npos;
            EXPECT_TRUE(insideSignedEntity) << problem.location << ": " << problem.checker << ": " << problem.message;
        }

        const testsupport::ValidatorListing listing = testsupport::ListParts(output);
        ASSERT_TRUE(listing.ok) << listing.error;
        SourceFiles sourceFiles;
        CollectAttachments(source.message, sourceFiles);
        std::multiset<std::string> writtenDigests;
        std::multiset<std::string> writtenParsedParts;
        for (const nlohmann::json& part : listing.document["parts"]) {
            if (part["sha256"].is_string())
                writtenDigests.insert(part["sha256"].get<std::string>());
            else if (part["filename"].is_string())
                writtenParsedParts.insert(part["content_type"].get<std::string>() + " " + part["filename"].get<std::string>());
        }
        if (!signedEntity) {
            for (const std::string& digest : sourceFiles.digests)
                EXPECT_GT(writtenDigests.count(digest), 0u) << "no part holds the attachment with SHA-256 " << digest;
            for (const std::string& part : sourceFiles.parsedParts)
                EXPECT_GT(writtenParsedParts.count(part), 0u) << "no part " << part;
        }

        // Calendar items and tasks carry their text in the calendar part (CalendarSamplesTest).
        const bool calendarItem = messageClass.starts_with("IPM.Appointment") ||
                                  messageClass.starts_with("IPM.Schedule.Meeting") || messageClass.starts_with("IPM.Task");
        const nlohmann::json& top = listing.document["messages"][0];
        const std::string body = Text(source.message, 0x1000);
        if (!body.empty() && !signedEntity && !calendarItem && !cardItem) {
            ASSERT_TRUE(top["text_body"].is_string());
            EXPECT_EQ(Normalised(top["text_body"].get<std::string>()), Normalised(body));
        }
        if (HasHtml(source.message) && !signedEntity && !calendarItem) {
            ++htmlSources;
            EXPECT_TRUE(top["html_body"].is_string()) << "the source's HTML has no HTML body";
        }

        if (messageClass == "IPM.DistList")
            ExpectListMembers(source, output);

        for (const nlohmann::json& reference : listing.document["cid_references"]) {
            if (reference["resolved"].get<bool>())
                continue;
            const std::string cid = reference["cid"].get<std::string>();
            EXPECT_EQ(sourceFiles.contentIds.count(cid), 0u) << "cid:" << cid << " names a part the source has";
        }
        std::cout << "[ sample   ] " << sample.filename().string() << ": " << (messageClass.empty() ? "(no class)" : messageClass)
                  << ", " << listing.document["parts"].size() << " parts, "
                  << sourceFiles.digests.size() + sourceFiles.parsedParts.size() << " files\n";
    }
    // The HTML check above ran: the samples hold HTML bodies in both forms.
    EXPECT_GT(htmlSources, 0);
}

} // namespace
} // namespace e2e
