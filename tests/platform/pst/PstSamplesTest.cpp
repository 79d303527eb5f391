// The shared sample data files read by our reader and exported by libpff's pffexport, an
// independent reader: the folder tree, each folder's messages in order, and for each message its
// subject, flags, size, its recipients (name, address, address type, To/Cc/Bcc) and its
// attachments, file attachments byte for byte.
#include "DataFileFixtures.h"

#include "platform/locale/Utf16.h"
#include "platform/pst/EightBitText.h"
#include "platform/pst/PstStore.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace platform::pst;

struct SampleFile {
    const char* path;        // below the samples' outlook folder
    unsigned codePage;       // of the file's 8-bit folder names
    const char* exportCodePage;
};

const SampleFile kSamples[] = {
    {"HiraokaHyperTools-pst_to_eml/contacts97-2002.pst", 932, "windows-932"},
    {"aspose-email-dotnet/passwordprotectedPST.pst", 1252, "windows-1252"},
    {"rjohnsondev-java-libpst/dist-list.pst", 1252, "windows-1252"},
};

std::string Text(const cfb::MsgProperty* property, unsigned codePage)
{
    if (property == nullptr) {
        return "";
    }
    return property->Type() == PT_UNICODE ? Utf16ToUtf8(property->text) : Utf16ToUtf8(EightBitToUtf16(property->bytes, codePage));
}

const cfb::MsgProperty* Find(const cfb::MsgPropertyList& properties, std::uint16_t id)
{
    for (const auto& property : properties) {
        if (property.Id() == id) {
            return &property;
        }
    }
    return nullptr;
}

// Where pffexport 20180714 is wrong: it writes no file for an attachment whose data spans several
// blocks. readpst (pst-utils) writes these attachments with the sizes given, as we read them.
struct ExportGap {
    const char* item;  // below the export's IPM subtree
    std::size_t attachmentSize;
};

const ExportGap kExportGaps[] = {
    {"Deleted Items/Message00006", 58368},
    {"Deleted Items/Message00007", 56832},
    {"Inbox/Message00003", 27420},
};

const ExportGap* FindGap(const fs::path& item)
{
    for (const auto& gap : kExportGaps) {
        if (item.string().ends_with(gap.item)) {
            return &gap;
        }
    }
    return nullptr;
}

// The "Name:<tabs>value" lines of a pffexport text file.
std::map<std::string, std::string> ExportFields(const fs::path& file)
{
    std::map<std::string, std::string> fields;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        auto colon = line.find(":\t");
        if (colon != std::string::npos && fields.count(line.substr(0, colon)) == 0) {
            fields[line.substr(0, colon)] = line.substr(line.find_first_not_of('\t', colon + 1) == std::string::npos
                                                            ? line.size()
                                                            : line.find_first_not_of('\t', colon + 1));
        }
    }
    return fields;
}

std::string FileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An exported item: a directory named by its kind and a five-digit position.
std::optional<int> ItemNumber(const fs::path& directory)
{
    static const std::regex pattern("([A-Za-z]+)([0-9]{5})");
    std::smatch match;
    const std::string name = directory.filename().string();
    if (!std::regex_match(name, match, pattern) || !fs::is_directory(directory)) {
        return std::nullopt;
    }
    if (!fs::exists(directory / "OutlookHeaders.txt") && !fs::exists(directory / (match[1].str() + ".txt"))) {
        return std::nullopt;
    }
    return std::stoi(match[2]);
}

// The item's description: "OutlookHeaders.txt" for mail, else "Contact.txt", "Appointment.txt"...
fs::path ItemText(const fs::path& directory)
{
    if (fs::exists(directory / "OutlookHeaders.txt")) {
        return directory / "OutlookHeaders.txt";
    }
    std::string name = directory.filename().string();
    return directory / (name.substr(0, name.size() - 5) + ".txt");
}

class SampleComparison {
public:
    SampleComparison(const PstStore& store, unsigned codePage) : store_(store), codePage_(codePage) {}

    void CompareMessage(const cfb::MsgMessage& message, const fs::path& item, const std::string& where)
    {
        auto fields = ExportFields(ItemText(item));
        if (fields.count("Subject") != 0) {
            EXPECT_EQ(Text(Find(message.properties, 0x0037), codePage_), fields["Subject"]) << where;
        }
        if (const cfb::MsgProperty* flags = Find(message.properties, 0x0E07); flags != nullptr && fields.count("Flags")) {
            std::ostringstream hex;
            hex << "0x" << std::hex << std::setw(8) << std::setfill('0') << static_cast<std::uint32_t>(flags->integer);
            EXPECT_EQ(fields["Flags"].substr(0, 10), hex.str()) << where;
        }
        if (const cfb::MsgProperty* size = Find(message.properties, 0x0E08); size != nullptr && fields.count("Size")) {
            EXPECT_EQ(fields["Size"], std::to_string(size->integer)) << where;
        }
        CompareRecipients(message, item / "Recipients.txt", where);
        CompareAttachments(message, item / "Attachments", where);
    }

    void CompareFolder(std::uint32_t nid, const fs::path& directory, int depth)
    {
        ASSERT_LT(depth, 32);
        PstFolder folder;
        std::string error;
        ASSERT_EQ(store_.ReadFolder(nid, codePage_, folder, error), S_OK) << error;
        std::map<std::string, std::uint32_t> ours;
        for (std::uint32_t child : folder.subfolders) {
            PstFolder sub;
            ASSERT_EQ(store_.ReadFolder(child, codePage_, sub, error), S_OK) << error;
            ours[Text(cfb::FindProperty(sub.properties, PR_DISPLAY_NAME_W), codePage_)] = child;
        }
        std::set<std::string> theirs;
        std::map<int, fs::path> items;
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (auto number = ItemNumber(entry.path())) {
                items[*number] = entry.path();
            } else if (entry.is_directory()) {
                theirs.insert(entry.path().filename().string());
            }
        }
        std::set<std::string> ourNames;
        for (const auto& [name, child] : ours) {
            ourNames.insert(name);
        }
        EXPECT_EQ(ourNames, theirs) << directory;
        std::vector<std::uint32_t> ids;
        ASSERT_EQ(store_.ReadMessageIds(nid, false, ids, error), S_OK) << error;
        ASSERT_EQ(ids.size(), items.size()) << directory;
        // pffexport numbers a folder's items in the order of their node ids, not of the folder's table.
        std::sort(ids.begin(), ids.end());
        for (std::size_t i = 0; i < ids.size(); ++i) {
            cfb::MsgDocument document;
            ASSERT_EQ(store_.ReadMessage(ids[i], codePage_, document, error), S_OK) << error;
            EXPECT_TRUE(document.leftOut.empty()) << directory << ": " << document.leftOut.front();
            ASSERT_EQ(items.count(static_cast<int>(i) + 1), 1u) << directory;
            CompareMessage(document.message, items[static_cast<int>(i) + 1], items[static_cast<int>(i) + 1].string());
            ++messages_;
        }
        for (const auto& [name, child] : ours) {
            if (theirs.count(name) != 0) {
                CompareFolder(child, directory / name, depth + 1);
            }
        }
    }

    std::size_t Messages() const { return messages_; }
    std::size_t Gaps() const { return gaps_; }

private:
    // Recipients.txt: a block of "Name:<tabs>value" lines for each recipient, in the table's order.
    void CompareRecipients(const cfb::MsgMessage& message, const fs::path& file, const std::string& where)
    {
        std::vector<std::map<std::string, std::string>> theirs;
        std::ifstream list(file);
        for (std::string line; std::getline(list, line);) {
            const auto colon = line.find(":\t");
            if (colon == std::string::npos) {
                continue;
            }
            if (line.rfind("Display name:", 0) == 0 || theirs.empty()) {
                theirs.emplace_back();
            }
            theirs.back()[line.substr(0, colon)] = line.substr(std::min(line.size(), line.find_first_not_of('\t', colon + 1)));
        }
        ASSERT_EQ(message.recipients.size(), theirs.size()) << where;
        const std::map<std::string, std::int64_t> types = {{"To", MAPI_TO}, {"CC", MAPI_CC}, {"BCC", MAPI_BCC}};
        for (std::size_t i = 0; i < theirs.size(); ++i) {
            const auto& ours = message.recipients[i].properties;
            EXPECT_EQ(Text(Find(ours, 0x3001), codePage_), theirs[i]["Display name"]) << where << " recipient " << i;
            EXPECT_EQ(Text(Find(ours, 0x3003), codePage_), theirs[i]["Email address"]) << where << " recipient " << i;
            EXPECT_EQ(Text(Find(ours, 0x3002), codePage_), theirs[i]["Address type"]) << where << " recipient " << i;
            const cfb::MsgProperty* type = cfb::FindProperty(ours, PR_RECIPIENT_TYPE);
            ASSERT_NE(type, nullptr) << where;
            EXPECT_EQ(type->integer, types.at(theirs[i]["Recipient type"])) << where << " recipient " << i;
        }
    }

    void CompareAttachments(const cfb::MsgMessage& message, const fs::path& directory, const std::string& where)
    {
        std::vector<fs::path> exported;
        if (fs::is_directory(directory)) {
            for (const auto& entry : fs::directory_iterator(directory)) {
                exported.push_back(entry.path());
            }
        }
        if (const ExportGap* gap = FindGap(directory.parent_path()); gap != nullptr && exported.empty()) {
            ASSERT_EQ(message.attachments.size(), 1u) << where;
            const cfb::MsgProperty* data = cfb::FindProperty(message.attachments[0].properties, PR_ATTACH_DATA_BIN);
            ASSERT_NE(data, nullptr) << where;
            EXPECT_EQ(data->bytes.size(), gap->attachmentSize) << where;
            ++gaps_;
            return;
        }
        ASSERT_EQ(message.attachments.size(), exported.size()) << where;
        for (std::size_t i = 0; i < message.attachments.size(); ++i) {
            const auto& attachment = message.attachments[i];
            const std::string prefix = std::to_string(i + 1) + "_";
            if (attachment.embedded) {
                char name[32];
                std::snprintf(name, sizeof name, "Attachment%05zu", i + 1);
                ASSERT_TRUE(fs::is_directory(directory / name)) << where << ": " << name;
                for (const auto& entry : fs::directory_iterator(directory / name)) {
                    CompareMessage(*attachment.embedded, entry.path(), entry.path().string());
                }
                continue;
            }
            auto file = std::find_if(exported.begin(), exported.end(),
                                     [&](const fs::path& p) { return p.filename().string().rfind(prefix, 0) == 0; });
            ASSERT_NE(file, exported.end()) << where << ": attachment " << i + 1;
            const cfb::MsgProperty* data = cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_BIN);
            ASSERT_NE(data, nullptr) << where;
            EXPECT_EQ(std::string(data->bytes.begin(), data->bytes.end()), FileBytes(*file)) << *file;
        }
    }

    const PstStore& store_;
    unsigned codePage_;
    std::size_t messages_ = 0;
    std::size_t gaps_ = 0;
};

TEST(PstSamples, AgreeWithAnIndependentReader)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    const std::string exporter = testsupport::FindProgram("pffexport");
    if (exporter.empty()) {
        GTEST_SKIP() << "pffexport (Debian's pff-tools) is not installed";
    }
    std::size_t gaps = 0;
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.path);
        const fs::path file = testsupport::OutlookSamplesDirectory() / sample.path;
        testsupport::TemporaryDirectory directory;
        testsupport::ProcessRun exportRun;
        exportRun.program = exporter;
        exportRun.arguments = {"-q", "-f", "all", "-c", sample.exportCodePage, "-t", directory.File("x"), file.string()};
        auto run = testsupport::RunProcess(exportRun);
        ASSERT_EQ(run.exitCode, 0) << run.standardError;
        PstStore store;
        std::string error;
        ASSERT_EQ(store.Open(file.string(), error), S_OK) << error;
        cfb::MsgPropertyList properties;
        ASSERT_EQ(store.ReadStoreProperties(sample.codePage, properties, error), S_OK) << error;
        const std::uint32_t top = PstStore::NodeOfEntryId(cfb::FindProperty(properties, PR_IPM_SUBTREE_ENTRYID)->bytes);
        PstFolder subtree;
        ASSERT_EQ(store.ReadFolder(top, sample.codePage, subtree, error), S_OK) << error;
        const std::string name = Text(cfb::FindProperty(subtree.properties, PR_DISPLAY_NAME_W), sample.codePage);
        SampleComparison comparison(store, sample.codePage);
        comparison.CompareFolder(top, fs::path(directory.File("x.export")) / name, 0);
        EXPECT_GT(comparison.Messages(), 0u);
        gaps += comparison.Gaps();
    }
    EXPECT_EQ(gaps, std::size(kExportGaps));
}

TEST(PstSamples, NamedPropertiesHaveTheirPropertySets)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.path);
        PstStore store;
        std::string error;
        ASSERT_EQ(store.Open((testsupport::OutlookSamplesDirectory() / sample.path).string(), error), S_OK) << error;
        ASSERT_FALSE(store.NamedProperties().empty());
        for (const auto& [id, name] : store.NamedProperties()) {
            EXPECT_NE(name.propertySet, cfb::Guid{}) << "id " << id;
            EXPECT_EQ(name.id, id);
        }
    }
}

// The file's list of further special folders is a multi-valued binary property with empty values
// among the others; its fifth value is the Junk E-mail folder's entry identifier.
TEST(PstSamples, MultiValuedPropertiesKeepEveryValue)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    PstStore store;
    std::string error;
    ASSERT_EQ(store.Open((testsupport::OutlookSamplesDirectory() / kSamples[2].path).string(), error), S_OK) << error;
    PstFolder root;
    ASSERT_EQ(store.ReadFolder(kRootFolderNode, 1252, root, error), S_OK) << error;
    const cfb::MsgProperty* ids = cfb::FindProperty(root.properties, PROP_TAG(PT_MV_BINARY, 0x36D8));
    ASSERT_NE(ids, nullptr);
    ASSERT_EQ(ids->byteValues.size(), 6u);
    for (const auto& value : ids->byteValues) {
        // A value is an entry identifier of a folder, or empty where there is no such folder.
        if (!value.empty()) {
            EXPECT_TRUE(store.Database().HasNode(PstStore::NodeOfEntryId(value)));
        }
    }
    PstFolder junk;
    ASSERT_EQ(store.ReadFolder(PstStore::NodeOfEntryId(ids->byteValues[4]), 1252, junk, error), S_OK) << error;
    EXPECT_EQ(Text(cfb::FindProperty(junk.properties, PR_DISPLAY_NAME_W), 1252), "Junk E-mail");
}

} // namespace
