// Tests that the bundled demo organisation loads and holds the users, lists and items it is
// there to show.
#include "platform/orgsource/OrganisationReader.h"
#include "platform/orgsource/PropertyNames.h"
#include "tests/platform/orgsource/OrganisationMessages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

namespace {

using namespace platform::orgsource;
namespace cfb = platform::cfb;

class DemoOrganisationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string path = (std::filesystem::path(EX2QLN_SOURCE_DIR) / "samples" / "demo-org" / "organisation.json").string();
        std::string error;
        ASSERT_EQ(ReadOrganisationFile(path, org_, error), S_OK) << error;
        for (std::size_t store = 0; store < org_.stores.size(); ++store) {
            orgtest::ForEachMessage(org_, store, [&](const ObjectLocation& location) {
                messages_.push_back({location, orgtest::ReadOrFail(org_, location)});
            });
        }
    }

    const GalEntry& Entry(std::string_view smtp) const
    {
        auto index = org_.FindGalEntryBySmtpAddress(smtp);
        EXPECT_TRUE(index.has_value()) << smtp;
        return org_.gal.at(index.value_or(0));
    }

    std::size_t MailboxIndex(std::string_view smtp) const
    {
        auto index = org_.FindMailboxStore(Entry(smtp).dn);
        EXPECT_TRUE(index.has_value()) << smtp;
        return index.value_or(0);
    }

    const Store& Mailbox(std::string_view smtp) const { return org_.stores.at(MailboxIndex(smtp)); }

    // The tag a named property has in a message read, or 0.
    static std::uint32_t NamedTag(const cfb::MsgDocument& document, std::string_view name)
    {
        auto known = NamedPropertyFromName(name);
        for (const auto& entry : document.namedProperties) {
            if (known && !entry.isString && entry.lid == known->lid && entry.propertySet == *PropertySetFromName(known->set)) {
                return (static_cast<std::uint32_t>(entry.id) << 16) | known->type;
            }
        }
        return 0;
    }

    const cfb::MsgDocument* FindBySubject(std::size_t store, std::u16string_view subject) const
    {
        for (const auto& [location, document] : messages_) {
            const auto* property = cfb::FindProperty(document.message.properties, 0x0037001F);
            if (location.storeIndex == store && property != nullptr && property->text == subject) {
                return &document;
            }
        }
        return nullptr;
    }

    struct ReadMessage {
        ObjectLocation location;
        cfb::MsgDocument document;
    };

    Organisation org_;
    std::vector<ReadMessage> messages_;
};

TEST_F(DemoOrganisationTest, AddressList)
{
    std::set<GalEntryKind> kinds;
    for (const auto& entry : org_.gal) {
        kinds.insert(entry.kind);
    }
    EXPECT_EQ(kinds.size(), 3u);
    const GalEntry& juergen = Entry("juergen.weiss@demo.example");
    EXPECT_EQ(cfb::FindProperty(juergen.properties, 0x3001001F)->text, u"Jürgen Weiß");
    EXPECT_EQ(cfb::FindProperty(juergen.properties, 0x3A00001F)->text, u"jweiss");
    EXPECT_NE(cfb::FindProperty(juergen.properties, 0x8006001F), nullptr);
    const GalEntry& bob = Entry("bob.okafor@demo.example");
    EXPECT_EQ(cfb::FindProperty(bob.properties, 0x8006001F), nullptr);
    EXPECT_NE(cfb::FindProperty(bob.properties, 0x8007001F), nullptr);
    EXPECT_EQ(cfb::FindProperty(Entry("john.smith@partner.example").properties, 0x39000003)->integer, 6);

    const GalEntry& sales = Entry("sales&marketing@demo.example");
    const GalEntry& staff = Entry("all-staff@demo.example");
    EXPECT_EQ(staff.kind, GalEntryKind::DistList);
    auto salesIndex = org_.FindGalEntryBySmtpAddress("sales&marketing@demo.example");
    EXPECT_NE(std::find(staff.members.begin(), staff.members.end(), *salesIndex), staff.members.end());
    bool memberWithAmpersand = false;
    for (std::size_t member : sales.members) {
        memberWithAmpersand |= org_.gal.at(member).smtpAddress.find('&') != std::string::npos;
    }
    EXPECT_TRUE(memberWithAmpersand);
}

TEST_F(DemoOrganisationTest, EveryItemKindIsThere)
{
    std::set<std::u16string> classes;
    for (const auto& message : messages_) {
        if (const auto* property = cfb::FindProperty(message.document.message.properties, 0x001A001F)) {
            classes.insert(property->text);
        }
    }
    for (const char16_t* wanted : {u"IPM.Note", u"IPM.Appointment", u"IPM.Schedule.Meeting.Request", u"IPM.Task",
                                   u"IPM.Contact", u"IPM.DistList", u"IPM.StickyNote", u"REPORT.IPM.Note.NDR",
                                   u"REPORT.IPM.Note.IPNRN", u"IPM.Post"}) {
        EXPECT_EQ(classes.count(wanted), 1u) << std::string(std::u16string_view(wanted).begin(), std::u16string_view(wanted).end());
    }
}

TEST_F(DemoOrganisationTest, MailWithAttachmentsAndAnAttachedMessage)
{
    std::size_t alice = MailboxIndex("alice.martin@demo.example");
    const cfb::MsgDocument* attachments = FindBySubject(alice, u"Floor plan and notes");
    ASSERT_NE(attachments, nullptr);
    ASSERT_EQ(attachments->message.attachments.size(), 2u);
    const auto* png = cfb::FindProperty(attachments->message.attachments[1].properties, 0x37010102);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(std::string(png->bytes.begin() + 1, png->bytes.begin() + 4), "PNG");
    const cfb::MsgDocument* forward = FindBySubject(alice, u"FW: Visitor parking");
    ASSERT_NE(forward, nullptr);
    ASSERT_NE(forward->message.attachments.at(0).embedded, nullptr);
    EXPECT_EQ(cfb::FindProperty(forward->message.attachments[0].embedded->properties, 0x0037001F)->text, u"Visitor parking");
    const cfb::MsgDocument* html = FindBySubject(alice, u"Your order 20240415-17");
    ASSERT_NE(html, nullptr);
    EXPECT_NE(cfb::FindProperty(html->message.properties, 0x10130102), nullptr);
}

TEST_F(DemoOrganisationTest, RecurringAndAllDayAppointments)
{
    std::size_t alice = MailboxIndex("alice.martin@demo.example");
    const cfb::MsgDocument* weekly = FindBySubject(alice, u"Team meeting");
    ASSERT_NE(weekly, nullptr);
    std::uint32_t recurTag = NamedTag(*weekly, "PidLidAppointmentRecur");
    ASSERT_NE(recurTag, 0u);
    const auto* recur = cfb::FindProperty(weekly->message.properties, recurTag);
    ASSERT_NE(recur, nullptr);
    const auto& b = recur->bytes;
    ASSERT_GE(b.size(), 50u);
    auto u16 = [&](std::size_t at) { return b[at] | (b[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | (u16(at + 2) << 16)); };
    EXPECT_EQ(u16(4), 0x200B);  // weekly
    EXPECT_EQ(u16(6), 1);       // pattern type week
    EXPECT_EQ(u32(22), 0x04u);  // Tuesday
    EXPECT_EQ(u32(26), 0x2022u);
    EXPECT_EQ(u32(30), 10u);
    EXPECT_EQ(u32(38), 2u);     // deleted or changed occurrences
    std::size_t extension = 38 + 4 + 2 * 4 + 4 + 1 * 4 + 8;
    EXPECT_EQ(u32(extension), 0x3006u);
    EXPECT_EQ(u32(extension + 8), 600u);
    EXPECT_EQ(u16(extension + 16), 1);  // one exception record
    EXPECT_NE(weekly->message.attachments.at(0).embedded, nullptr);
    const cfb::MsgDocument* allDay = FindBySubject(alice, u"Company outing");
    ASSERT_NE(allDay, nullptr);
    std::uint32_t subTypeTag = NamedTag(*allDay, "PidLidAppointmentSubType");
    ASSERT_NE(subTypeTag, 0u);
    EXPECT_EQ(cfb::FindProperty(allDay->message.properties, subTypeTag)->integer, 1);
}

TEST_F(DemoOrganisationTest, FoldersAndSpecialFolders)
{
    const Store& juergen = Mailbox("juergen.weiss@demo.example");
    const Folder& subtree = juergen.root.folders.at(0);
    EXPECT_EQ(subtree.name, "Top of Information Store");
    auto inbox = org_.Locate(juergen.receiveFolder);
    ASSERT_TRUE(inbox.has_value());
    EXPECT_EQ(org_.FolderAt(*inbox)->name, "Posteingang");
    EXPECT_EQ(cfb::FindProperty(juergen.properties, 0x35E00102)->bytes, subtree.entryId);

    const Store& alice = Mailbox("alice.martin@demo.example");
    const Folder& aliceInbox = alice.root.folders.at(0).folders.at(0);
    EXPECT_EQ(alice.receiveFolder, aliceInbox.entryId);
    EXPECT_EQ(aliceInbox.associated.size(), 1u);
    std::set<std::u16string> classes;
    for (const auto& folder : alice.root.folders.at(0).folders) {
        if (const auto* property = cfb::FindProperty(folder.properties, 0x3613001F)) {
            classes.insert(property->text);
        }
    }
    EXPECT_EQ(classes, (std::set<std::u16string>{u"IPF.Note", u"IPF.Appointment", u"IPF.Contact", u"IPF.Task", u"IPF.StickyNote"}));

    auto publicStore = org_.FindPublicStore();
    ASSERT_TRUE(publicStore.has_value());
    EXPECT_EQ(org_.stores[*publicStore].root.folders.at(0).folders.size(), 3u);
}

TEST_F(DemoOrganisationTest, EveryObjectIsFoundByItsEntryIdentifier)
{
    std::set<EntryId> seen;
    for (std::size_t s = 0; s < org_.stores.size(); ++s) {
        const Store& store = org_.stores[s];
        EXPECT_TRUE(seen.insert(store.entryId).second);
        std::function<void(const Folder&)> visit = [&](const Folder& folder) {
            EXPECT_TRUE(seen.insert(folder.entryId).second) << folder.name;
            auto location = org_.Locate(folder.entryId);
            EXPECT_TRUE(location && org_.FolderAt(*location) == &folder) << folder.name;
            for (const auto& child : folder.folders) {
                visit(child);
            }
        };
        visit(store.root);
    }
    for (const auto& [location, document] : messages_) {
        EntryId entryId = org_.MessageEntryId(location);
        EXPECT_TRUE(seen.insert(entryId).second) << org_.MessageAt(location)->key;
        EXPECT_EQ(cfb::FindProperty(document.message.properties, 0x0FFF0102)->bytes, entryId);
        auto found = org_.Locate(entryId);
        EXPECT_TRUE(found && org_.MessageAt(*found) == org_.MessageAt(location)) << org_.MessageAt(location)->key;
    }
    for (std::size_t i = 0; i < org_.gal.size(); ++i) {
        auto location = org_.Locate(org_.gal[i].entryId);
        ASSERT_TRUE(location.has_value());
        EXPECT_EQ(location->galIndex, i);
    }
}

} // namespace
