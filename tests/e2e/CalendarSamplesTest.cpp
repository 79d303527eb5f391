// qlnconvert over the shared Outlook appointments, meeting messages and tasks: every calendar part
// is read by libical (with the iTIP rules of its METHOD), Python's icalendar and our own rules, its
// description is the item's text, and a series expands (python-dateutil, in its zone) to exactly the
// occurrences that the stored pattern means.
#include <gtest/gtest.h>

#include <mapitags.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mmconv/encoding/Utf8.h"
#include "platform/cfb/MsgFile.h"
#include "tests/e2e/ProgramTest.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/RecurrenceReference.h"

namespace e2e {
namespace {

using platform::cfb::FindProperty;
using platform::cfb::MsgDocument;
using platform::cfb::MsgProperty;

const std::string kQlnConvert = EX2QLN_BIN_DIR "/qlnconvert";
// PSETID_Appointment as stored.
const platform::cfb::Guid kAppointmentSet = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x46};
constexpr std::size_t kCompared = 60;

bool IsCalendarClass(const std::string& messageClass)
{
    return messageClass.starts_with("IPM.Appointment") || messageClass.starts_with("IPM.Schedule.Meeting") ||
           messageClass.starts_with("IPM.Task");
}

const MsgProperty* Named(const MsgDocument& document, std::uint32_t lid, std::uint16_t type)
{
    for (const platform::cfb::MsgNamedProperty& name : document.namedProperties) {
        if (!name.isString && name.lid == lid && name.propertySet == kAppointmentSet)
            return FindProperty(document.message.properties, (static_cast<std::uint32_t>(name.id) << 16) | type);
    }
    return nullptr;
}

std::string Normalised(const std::string& text)
{
    std::istringstream words(text);
    std::string word;
    std::string result;
    while (words >> word)
        result += (result.empty() ? "" : " ") + word;
    return result;
}

// The first calendar of a converted message, its lines unfolded.
std::string CalendarLines(const std::string& message)
{
    const std::size_t begin = message.find("BEGIN:VCALENDAR");
    const std::size_t end = message.find("END:VCALENDAR", begin);
    if (begin == std::string::npos || end == std::string::npos)
        return {};
    std::string lines = message.substr(begin, end - begin);
    for (std::size_t fold; (fold = lines.find("\r\n ")) != std::string::npos;)
        lines.erase(fold, 3);
    return lines;
}

// The component's text: DESCRIPTION, or COMMENT in a reply, unescaped.
std::string ComponentText(const std::string& lines)
{
    std::size_t at = lines.find("\r\nDESCRIPTION:");
    std::size_t start = at + 14;
    if (at == std::string::npos) {
        at = lines.find("\r\nCOMMENT:");
        start = at + 10;
    }
    if (at == std::string::npos)
        return {};
    const std::string escaped = lines.substr(start, lines.find("\r\n", start) - start);
    std::string text;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\' || i + 1 == escaped.size()) {
            text += escaped[i];
            continue;
        }
        const char next = escaped[++i];
        text += next == 'n' || next == 'N' ? '\n' : next;
    }
    return text;
}

class CalendarSamples : public ProgramTest {};

TEST_F(CalendarSamples, EveryCalendarItemReadsBackWithItsTextAndOccurrences)
{
    std::vector<std::filesystem::path> samples;
    std::vector<MsgDocument> sources;
    for (const std::filesystem::path& sample : testsupport::OutlookSampleFiles()) {
        MsgDocument document;
        std::string error;
        ASSERT_EQ(platform::cfb::ReadMsgFile(sample.string(), document, error), S_OK) << error;
        const MsgProperty* messageClass = FindProperty(document.message.properties, PR_MESSAGE_CLASS_W);
        if (messageClass == nullptr || !IsCalendarClass(mmconv::WideToUtf8(messageClass->text)))
            continue;
        samples.push_back(sample);
        sources.push_back(std::move(document));
    }
    if (samples.empty())
        GTEST_SKIP() << "no calendar items among the Outlook samples at " << testsupport::OutlookSamplesDirectory();
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::ICalendar);
    EX2QLN_SKIP_WITHOUT_VALIDATORS("expand");

    std::vector<std::string> arguments = {"--user=owner@example.test", "--name=Mailbox Owner", "-o", work_.Path()};
    for (const std::filesystem::path& sample : samples)
        arguments.push_back(sample.string());
    testsupport::ProcessRun run = IsolatedRun(kQlnConvert, arguments);
    run.environment["TZ"] = "UTC";
    const testsupport::ProcessResult converted = testsupport::RunProcess(run);
    ASSERT_EQ(converted.exitCode, 0) << converted.standardError;

    int series = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(samples[i].filename().string());
        const MsgDocument& source = sources[i];
        const std::string output = (std::filesystem::path(work_.Path()) / samples[i].filename().replace_extension(".eml")).string();
        const testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(testsupport::OutputCheck::ICalendar, output);
        EXPECT_TRUE(verdict.valid) << verdict.Describe();

        std::ifstream file(output, std::ios::binary);
        const std::string message((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string lines = CalendarLines(message);
        ASSERT_FALSE(lines.empty());
        if (const MsgProperty* body = FindProperty(source.message.properties, PR_BODY_W)) {
            EXPECT_EQ(Normalised(ComponentText(lines)), Normalised(mmconv::WideToUtf8(body->text)));
        }

        const MsgProperty* recurring = Named(source, 0x8223, PT_BOOLEAN);
        const MsgProperty* pattern = Named(source, 0x8216, PT_BINARY);
        if (recurring == nullptr || recurring->integer == 0 || pattern == nullptr)
            continue;
        ++series;
        const MsgProperty* allDay = Named(source, 0x8215, PT_BOOLEAN);
        const testsupport::ReferenceOccurrences reference =
            testsupport::ExpandStoredPattern(pattern->bytes, kCompared, allDay != nullptr && allDay->integer != 0);
        ASSERT_TRUE(reference.ok);
        const testsupport::ValidatorListing listing = testsupport::ExpandRecurrences(output, static_cast<int>(kCompared));
        ASSERT_TRUE(listing.ok) << listing.error;
        ASSERT_FALSE(listing.document["components"].empty());
        const nlohmann::json& expanded = listing.document["components"][0];
        std::vector<std::string> occurrences;
        for (const nlohmann::json& occurrence : expanded["occurrences"])
            occurrences.push_back(occurrence["local"].get<std::string>());
        EXPECT_EQ(occurrences, reference.starts);
        EXPECT_EQ(expanded["truncated"].get<bool>(), reference.truncated);
        std::cout << "[ series   ] " << samples[i].filename().string() << ": " << occurrences.size()
                  << (reference.truncated ? "+" : "") << " occurrences\n";
    }
    // The samples hold series: the comparison above ran.
    EXPECT_GT(series, 0);
}

} // namespace
} // namespace e2e
