// Calendar items through MapiToMime: the weekly meeting request written line for line, and one
// table of the cases that decide a line (kinds, times, participants, alarms, tasks), each result
// also read by the independent iCalendar readers.
#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapitags.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "mmconv/message/MMNamedPropsCnv.h"
#include "tests/mmconv/calendar/CalendarFixtures.h"
#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/RecurrenceReference.h"

namespace {

using calendartest::Minutes;
using convtest::Binary;
using convtest::Boolean;
using convtest::FileTime;
using convtest::Long;
using convtest::MessageBuilder;
using convtest::Time;
using convtest::Unicode;

const std::string kCleanId = std::string("\x04\x00\x00\x00\x82\x00\xE0\x00\x74\xC5\xB7\x10\x1A\x82\xE0\x08", 16) +
                             std::string(4, '\0') + std::string("\x10\x20\x30\x40\x50\x60\x70\x80", 8) +
                             std::string(8, '\0') + std::string("\x10\x00\x00\x00", 4) + "0123456789abcdef";

// The text/calendar body: from BEGIN:VCALENDAR to the line end after END:VCALENDAR.
std::string CalendarBody(const std::string& message)
{
    const std::size_t begin = message.find("BEGIN:VCALENDAR");
    const std::size_t end = message.find("END:VCALENDAR\r\n", begin);
    if (begin == std::string::npos || end == std::string::npos)
        return {};
    return message.substr(begin, end + 15 - begin);
}

// Content lines unfolded, for looking lines up whole.
std::string Unfolded(const std::string& body)
{
    return std::regex_replace(body, std::regex("\r\n "), "");
}

// The weekly meeting request: Monday and Wednesday 09:00 to 10:00 in Central Europe from 5 October
// 2009 to 31 December 2009, 14 October moved to 15 October 10:00 to 11:00, 21 October deleted.
MessageBuilder WeeklyMeeting()
{
    MessageBuilder b = convtest::SentMail("IPM.Schedule.Meeting.Request", u"Weekly review");
    calendartest::StoredPattern pattern;
    pattern.frequency = 0x200B;
    pattern.patternType = 1;
    pattern.period = 1;
    pattern.specific = {0x0A};
    pattern.endType = 0x2021;
    pattern.occurrenceCount = 25;
    pattern.deleted = {Minutes(2009, 10, 14), Minutes(2009, 10, 21)};
    pattern.modified = {Minutes(2009, 10, 15)};
    pattern.startDate = Minutes(2009, 10, 5);
    pattern.endDate = Minutes(2009, 12, 31);
    pattern.startTimeOffset = 540;
    pattern.endTimeOffset = 600;
    pattern.exceptions = {{Minutes(2009, 10, 15, 10), Minutes(2009, 10, 15, 11), Minutes(2009, 10, 14, 9), 0, {}}};
    b.Add(Unicode(PR_BODY_W, u""))
        .Add(Long(PR_PRIORITY, 0))
        .Add(Long(PR_SENSITIVITY, 0))
        .Add(Boolean(PR_RESPONSE_REQUESTED, true))
        .Add(Binary(b.Named(PSETID_Appointment, 0x8233, PT_BINARY), calendartest::CentralEuropeZone()))
        .Add(Unicode(b.Named(PSETID_Appointment, 0x8234, PT_UNICODE), u"Central Europe"))
        .Add(Time(b.Named(PSETID_Appointment, 0x820D, PT_SYSTIME), FileTime(2009, 10, 5, 7, 0, 0)))
        .Add(Time(b.Named(PSETID_Appointment, 0x820E, PT_SYSTIME), FileTime(2009, 10, 5, 8, 0, 0)))
        .Add(Unicode(b.Named(PSETID_Appointment, 0x8208, PT_UNICODE), u"Room 1"))
        .Add(Long(b.Named(PSETID_Appointment, 0x8205, PT_LONG), 2))
        .Add(Long(b.Named(PSETID_Appointment, 0x8224, PT_LONG), 2))
        .Add(Boolean(b.Named(PSETID_Appointment, 0x8215, PT_BOOLEAN), false))
        .Add(Long(b.Named(PSETID_Appointment, 0x8201, PT_LONG), 0))
        .Add(Boolean(b.Named(PSETID_Appointment, 0x8223, PT_BOOLEAN), true))
        .Add(Binary(b.Named(PSETID_Appointment, 0x8216, PT_BINARY), calendartest::PatternBytes(pattern)))
        .Add(Boolean(b.Named(PSETID_Common, 0x8503, PT_BOOLEAN), true))
        .Add(Long(b.Named(PSETID_Common, 0x8501, PT_LONG), 15))
        .Add(Binary(b.Named(PSETID_Meeting, 0x0003, PT_BINARY), kCleanId))
        .Add(Binary(b.Named(PSETID_Meeting, 0x0023, PT_BINARY), kCleanId));
    b.AddRecipient(1, u"Bob Organizer", u"SMTP", u"bob@example.com").properties.push_back(Long(PR_RECIPIENT_FLAGS, 3));
    b.AddRecipient(1, u"Ann Lee", u"SMTP", u"ann@example.com").properties.push_back(Long(PR_RECIPIENT_FLAGS, 1));
    return b;
}

const char* const kWeeklyMeeting =
    "BEGIN:VCALENDAR\r\n"
    "METHOD:REQUEST\r\n"
    "PRODID:Quillon MAPI Connector 1.0.0\r\n"
    "VERSION:2.0\r\n"
    "BEGIN:VTIMEZONE\r\n"
    "TZID:Central Europe\r\n"
    "BEGIN:STANDARD\r\n"
    "DTSTART:19710101T030000\r\n"
    "TZOFFSETFROM:+0200\r\n"
    "TZOFFSETTO:+0100\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
    "END:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\n"
    "DTSTART:19710101T020000\r\n"
    "TZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
    "END:DAYLIGHT\r\n"
    "END:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\n"
    "DTSTART;TZID=\"Central Europe\":20091005T090000\r\n"
    "DTEND;TZID=\"Central Europe\":20091005T100000\r\n"
    "LOCATION:Room 1\r\n"
    "X-MICROSOFT-CDO-BUSYSTATUS:BUSY\r\n"
    "TRANSP:OPAQUE\r\n"
    "X-MICROSOFT-CDO-INTENDEDSTATUS:BUSY\r\n"
    "X-MICROSOFT-CDO-ALLDAYEVENT:FALSE\r\n"
    "DTSTAMP:20091001T120000Z\r\n"
    "PRIORITY:5\r\n"
    "X-MICROSOFT-CDO-IMPORTANCE:1\r\n"
    "SUMMARY:Weekly review\r\n"
    "DESCRIPTION:\r\n"
    "SEQUENCE:0\r\n"
    "RRULE:FREQ=WEEKLY;UNTIL=20091231T080000Z;INTERVAL=1;BYDAY=MO,WE\r\n"
    "EXDATE;TZID=\"Central Europe\":20091014T090000,20091021T090000\r\n"
    "RDATE;TZID=\"Central Europe\";VALUE=PERIOD:20091015T100000/20091015T110000\r\n"
    "CLASS:PUBLIC\r\n"
    "STATUS:CONFIRMED\r\n"
    "UID:040000008200E00074C5B7101A82E00800000000\r\n"
    "ORGANIZER;CN=\"Bob Organizer\":MAILTO:bob@example.com\r\n"
    "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=TRUE;CN=\"Ann Lee\":MAILTO:ann@example.com\r\n"
    "BEGIN:VALARM\r\n"
    "ACTION:DISPLAY\r\n"
    "DESCRIPTION:REMINDER\r\n"
    "TRIGGER:-PT15M\r\n"
    "END:VALARM\r\n"
    "END:VEVENT\r\n"
    "END:VCALENDAR\r\n";

TEST(CalendarConversion, TheWeeklyMeetingRequestLineForLine)
{
    const convtest::Conversion converted = convtest::Convert(WeeklyMeeting().Document());
    ASSERT_EQ(converted.status, S_OK);
    EXPECT_NE(converted.output.find("Content-Type: text/calendar;\r\n method=\"REQUEST\";\r\n charset=\"utf-8\";\r\n"
                                    " name=\"meeting.ics\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\nBEGIN:VCALENDAR"),
        std::string::npos)
        << converted.output;
    std::string body = CalendarBody(converted.output);
    // The time of the conversion, the program's version and the identifier beyond its class prefix
    // are the only lines that differ.
    body = std::regex_replace(body, std::regex("DTSTAMP:\\d{8}T\\d{6}Z\r\n"), "DTSTAMP:20091001T120000Z\r\n");
    body = std::regex_replace(body, std::regex("PRODID:Quillon MAPI Connector [0-9.]+\r\n"),
        "PRODID:Quillon MAPI Connector 1.0.0\r\n");
    body = std::regex_replace(body, std::regex("UID:040000008200E00074C5B7101A82E00800000000[0-9A-F]*(\r\n [0-9A-F]+)*\r\n"),
        "UID:040000008200E00074C5B7101A82E00800000000\r\n");
    EXPECT_EQ(body, kWeeklyMeeting);

    // The readers accept it, but for libical's refusal of the empty DESCRIPTION, which RFC 5545's
    // TEXT (zero or more characters) allows.
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(testsupport::OutputCheck::Message, converted.output);
    ASSERT_TRUE(verdict.ran) << verdict.Describe();
    for (const testsupport::ValidatorProblem& problem : verdict.problems)
        EXPECT_EQ(problem.message, "VEVENT: VALUE-PARSE-ERROR: No value for DESCRIPTION property. Removing entire property:")
            << problem.checker;
}

// The rule, its exclusions and the moved occurrence expand to the series' own occurrences, at 09:00
// local time on both sides of the change to winter time on 25 October.
TEST(CalendarConversion, TheWeeklySeriesExpandsToItsOccurrencesAcrossTheClockChange)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS("expand");
    const MessageBuilder meeting = WeeklyMeeting();
    const convtest::Conversion converted = convtest::Convert(meeting.Document());
    ASSERT_EQ(converted.status, S_OK);
    const std::string path = ::testing::TempDir() + "weekly-meeting.eml";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(converted.output.data(), 1, converted.output.size(), file);
    std::fclose(file);
    const testsupport::ValidatorListing listing = testsupport::ExpandRecurrences(path, 100);
    std::remove(path.c_str());
    ASSERT_TRUE(listing.ok) << listing.error;
    ASSERT_EQ(listing.document["components"].size(), 1u);
    const nlohmann::json& series = listing.document["components"][0];
    std::vector<std::string> expanded;
    for (const nlohmann::json& occurrence : series["occurrences"])
        expanded.push_back(occurrence["local"].get<std::string>());

    std::string stored;
    for (const auto& property : meeting.Document().message.properties) {
        if (property.Type() == PT_BINARY && property.bytes.size() > 100)
            stored.assign(property.bytes.begin(), property.bytes.end());
    }
    const testsupport::ReferenceOccurrences reference = testsupport::ExpandStoredPattern(
        {reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()}, 100, false);
    ASSERT_TRUE(reference.ok);
    EXPECT_EQ(expanded, reference.starts);
    EXPECT_EQ(expanded.size(), 25u);
    EXPECT_EQ(series["occurrences"][4]["utc"], "2009-10-19T07:00:00Z");
    EXPECT_EQ(series["occurrences"][5]["utc"], "2009-10-26T08:00:00Z");
}

struct CalendarCase {
    const char* label;
    std::string messageClass;
    std::function<void(MessageBuilder&)> build;
    std::vector<std::string> present;  // unfolded lines or parts of them
    std::vector<std::string> absent;
};

void Zone(MessageBuilder& b)
{
    b.Add(Binary(b.Named(PSETID_Appointment, 0x8233, PT_BINARY), calendartest::CentralEuropeZone()))
        .Add(Unicode(b.Named(PSETID_Appointment, 0x8234, PT_UNICODE), u"Central Europe"));
}

void Times(MessageBuilder& b, std::uint64_t start, std::uint64_t end)
{
    b.Add(Time(b.Named(PSETID_Appointment, 0x820D, PT_SYSTIME), start))
        .Add(Time(b.Named(PSETID_Appointment, 0x820E, PT_SYSTIME), end));
}

void Ids(MessageBuilder& b)
{
    b.Add(Binary(b.Named(PSETID_Meeting, 0x0003, PT_BINARY), kCleanId))
        .Add(Binary(b.Named(PSETID_Meeting, 0x0023, PT_BINARY), kCleanId));
}

void Meeting(MessageBuilder& b)
{
    Zone(b);
    b.Add(Unicode(PR_BODY_W, u"Agenda")).Add(Long(b.Named(PSETID_Appointment, 0x8201, PT_LONG), 2));
    Times(b, FileTime(2009, 10, 15, 8, 0, 0), FileTime(2009, 10, 15, 9, 0, 0));
    Ids(b);
    b.AddRecipient(1, u"Bob Organizer", u"SMTP", u"bob@example.com").properties.push_back(Long(PR_RECIPIENT_FLAGS, 3));
}

void Reminder(MessageBuilder& b, long delta)
{
    Meeting(b);
    b.Add(Boolean(b.Named(PSETID_Common, 0x8503, PT_BOOLEAN), true)).Add(Long(b.Named(PSETID_Common, 0x8501, PT_LONG), delta));
}

void Task(MessageBuilder& b)
{
    b.Add(Unicode(PR_BODY_W, u"Steps")).Add(Long(PR_PRIORITY, 0));
    b.Add(Time(b.Named(PSETID_Common, 0x8516, PT_SYSTIME), FileTime(2024, 3, 25, 0, 0, 0)))
        .Add(Time(b.Named(PSETID_Common, 0x8517, PT_SYSTIME), FileTime(2024, 3, 28, 0, 0, 0)));
}

// A recurring item with the marks of the program's own import, written by the client version given.
void OwnImport(MessageBuilder& b, std::u16string version)
{
    Meeting(b);
    b.Add(Unicode(b.Named(PSETID_Common, 0x8554, PT_UNICODE), std::move(version)))
        .Add(Boolean(b.Named(PSETID_Meeting, 0x0005, PT_BOOLEAN), true))
        .Add(Boolean(b.Named(PSETID_Meeting, 0x000A, PT_BOOLEAN), false))
        .Add(Time(b.Named(PSETID_Appointment, 0x8235, PT_SYSTIME), FileTime(2009, 10, 15, 0, 0, 0)))
        .Add(Time(b.Named(PSETID_Common, 0x8516, PT_SYSTIME), FileTime(2009, 10, 15, 8, 0, 0)));
}

// An item in a calendar that names no sender.
MessageBuilder Unsent(const std::string& messageClass)
{
    MessageBuilder b;
    b.Add(convtest::Ansi(PR_MESSAGE_CLASS_A, messageClass)).Add(Unicode(PR_SUBJECT_W, u"Review"));
    return b;
}

const CalendarCase kCases[] = {
    {"an all-day event is written in dates", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Boolean(b.Named(PSETID_Appointment, 0x8215, PT_BOOLEAN), true));
            Times(b, FileTime(2009, 10, 14, 22, 0, 0), FileTime(2009, 10, 15, 22, 0, 0));
        },
        {"DTSTART;VALUE=DATE:20091015\r\n", "DTEND;VALUE=DATE:20091016\r\n", "X-MICROSOFT-CDO-ALLDAYEVENT:TRUE"},
        {"DTSTART;TZID"}},
    {"a tentative answer is a reply from its sender", "IPM.Schedule.Meeting.Resp.Tent",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Unicode(PR_BODY_W, u"Maybe"));
        },
        {"METHOD:REPLY\r\n", "STATUS:TENTATIVE\r\n", "ORGANIZER;CN=\"Bob Organizer\":MAILTO:bob@example.com\r\n",
            "ATTENDEE;PARTSTAT=TENTATIVE:MAILTO:anna@example.com\r\n", "COMMENT:Maybe\r\n"},
        {"DESCRIPTION:Maybe"}},
    {"a counter-proposal writes the proposed and the original times", "IPM.Schedule.Meeting.Resp.Pos",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Boolean(b.Named(PSETID_Appointment, 0x8257, PT_BOOLEAN), true))
                .Add(Time(b.Named(PSETID_Appointment, 0x8250, PT_SYSTIME), FileTime(2009, 10, 16, 8, 0, 0)))
                .Add(Time(b.Named(PSETID_Appointment, 0x8251, PT_SYSTIME), FileTime(2009, 10, 16, 9, 0, 0)));
        },
        {"METHOD:COUNTER\r\n", "DTSTART;TZID=\"Central Europe\":20091016T100000\r\n",
            "DTEND;TZID=\"Central Europe\":20091016T110000\r\n", "X-MS-OLK-ORIGINALSTART:20091015T080000Z\r\n",
            "X-MS-OLK-ORIGINALEND:20091015T090000Z\r\n", "ATTENDEE;PARTSTAT=ACCEPTED:MAILTO:anna@example.com"},
        {}},
    {"a name with a double quote has no CN; resources are NON-PARTICIPANT", "IPM.Schedule.Meeting.Request",
        [](MessageBuilder& b) {
            Meeting(b);
            b.AddRecipient(1, u"Ann \"the boss\" Lee", u"SMTP", u"ann@example.com");
            b.AddRecipient(3, u"Room 1", u"SMTP", u"room1@example.com");
        },
        {"ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE:MAILTO:ann@example.com\r\n",
            "ATTENDEE;CUTYPE=RESOURCE;ROLE=NON-PARTICIPANT;RSVP=FALSE;CN=\"Room 1\":MAILTO:room1@example.com\r\n"},
        {"CN=\"Ann"}},
    {"busy status 4 is opaque without a busy word", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Long(b.Named(PSETID_Appointment, 0x8205, PT_LONG), 4));
        },
        {"TRANSP:OPAQUE\r\n", "METHOD:PUBLISH\r\n"}, {"X-MICROSOFT-CDO-BUSYSTATUS"}},
    {"a reminder out of range is 15 minutes", "IPM.Appointment", [](MessageBuilder& b) { Reminder(b, 30000); },
        {"TRIGGER:-PT15M\r\n"}, {}},
    {"a reminder of days and hours", "IPM.Appointment", [](MessageBuilder& b) { Reminder(b, 1500); },
        {"TRIGGER:-P1DT1H\r\n"}, {}},
    {"a reminder of hours and minutes", "IPM.Appointment", [](MessageBuilder& b) { Reminder(b, 90); },
        {"TRIGGER:-PT1H30M\r\n"}, {}},
    {"a reminder of whole days", "IPM.Appointment", [](MessageBuilder& b) { Reminder(b, 2880); }, {"TRIGGER:-P2D\r\n"}, {}},
    {"a reminder at the start is a duration of no minutes", "IPM.Appointment", [](MessageBuilder& b) { Reminder(b, 0); },
        {"TRIGGER:-PT0M\r\n"}, {}},
    {"a low priority", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Long(PR_PRIORITY, -1));
        },
        {"PRIORITY:9\r\n", "X-MICROSOFT-CDO-IMPORTANCE:3\r\n"}, {}},
    {"text values are escaped; each category is one value", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            b.Add(Unicode(PR_BODY_W, u"a,b;c\\d\r\ne"))
                .Add(convtest::MultiUnicode(b.Named(PS_PUBLIC_STRINGS, u"Keywords", PT_MV_UNICODE), {u"Red, dark", u"Blue"}));
        },
        {"DESCRIPTION:a\\,b\\;c\\\\d\\Ne\r\n", "CATEGORIES:Red\\, dark,Blue\r\n"}, {}},
    {"the hour before the spring change is still standard time", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            Times(b, FileTime(2009, 3, 29, 0, 30, 0), FileTime(2009, 3, 29, 1, 30, 0));
        },
        {"DTSTART;TZID=\"Central Europe\":20090329T013000\r\n", "DTEND;TZID=\"Central Europe\":20090329T033000\r\n"}, {}},
    {"a meeting without an organizer address is no iTIP message but keeps its attendees", "IPM.Appointment",
        [](MessageBuilder& b) {
            Zone(b);
            Times(b, FileTime(2009, 10, 15, 8, 0, 0), FileTime(2009, 10, 15, 9, 0, 0));
            Ids(b);
            b.Add(Unicode(PR_BODY_W, u"Agenda"));
            b.AddRecipient(1, u"Ann Lee", u"SMTP", u"ann@example.com");
        },
        {"ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE;CN=\"Ann Lee\":MAILTO:ann@example.com\r\n"},
        {"METHOD:", "method=", "ORGANIZER"}},
    {"an item of the program's own import keeps its stored times as local times", "IPM.Appointment",
        [](MessageBuilder& b) { OwnImport(b, u"10.0"); },
        {"DTSTART;TZID=\"Central Europe\":20091015T080000\r\n"}, {}},
    {"a later client's item keeps UTC times", "IPM.Appointment",
        [](MessageBuilder& b) { OwnImport(b, u"15.0"); },
        {"DTSTART;TZID=\"Central Europe\":20091015T100000\r\n"}, {}},
    {"kept lines close their own components", "IPM.Appointment",
        [](MessageBuilder& b) {
            Reminder(b, 15);
            b.Add(convtest::MultiLong(b.Named(mmconv::PSETID_Quillon, u"X-MAPITAG-IDs", PT_MV_LONG), {0, 1, 2}))
                .Add(convtest::MultiUnicode(b.Named(mmconv::PSETID_Quillon, u"X-MAPITAG-Values", PT_MV_UNICODE),
                    {u"X-CALENDAR-TAG:a", u"X-EVENT-TAG:b", u"X-ALARM-TAG:c"}));
        },
        {"X-ALARM-TAG:c\r\nEND:VALARM\r\nX-EVENT-TAG:b\r\nEND:VEVENT\r\nX-CALENDAR-TAG:a\r\nEND:VCALENDAR"}, {}},
    {"a malformed series keeps its first occurrence and writes no rule", "IPM.Appointment",
        [](MessageBuilder& b) {
            Meeting(b);
            calendartest::StoredPattern yearly;
            yearly.frequency = 0x200D;
            yearly.patternType = 2;
            yearly.period = 18;
            yearly.specific = {15};
            yearly.startDate = Minutes(2009, 10, 15);
            b.Add(Boolean(b.Named(PSETID_Appointment, 0x8223, PT_BOOLEAN), true))
                .Add(Binary(b.Named(PSETID_Appointment, 0x8216, PT_BINARY), calendartest::PatternBytes(yearly)));
        },
        {"DTSTART;TZID=\"Central Europe\":20091015T100000\r\n"}, {"BYMONTHDAY"}},
    {"a changed occurrence: the series' recipients, no empty description, its alarm mark",
        "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}",
        [](MessageBuilder& b) {
            Zone(b);
            Times(b, FileTime(2009, 10, 15, 8, 0, 0), FileTime(2009, 10, 15, 9, 0, 0));
            b.Add(Unicode(PR_BODY_W, u""))
                .Add(Boolean(b.Named(PSETID_Common, 0x8503, PT_BOOLEAN), true))
                .Add(Time(b.Named(PSETID_Appointment, 0x8228, PT_SYSTIME), FileTime(2009, 10, 14, 7, 0, 0)));
            Ids(b);
        },
        {"X-MAPI-EXCEP-ALARM:yes\r\n", "RECURRENCE-ID:20091014T070000Z\r\n"}, {"DESCRIPTION", "X-MICROSOFT-CDO-ALLDAYEVENT"}},
    {"a task: times, progress, version, status, UID text after the marker", "IPM.Task",
        [](MessageBuilder& b) {
            Task(b);
            b.Add(convtest::Double(b.Named(PSETID_Task, 0x8102, PT_DOUBLE), 0.375))
                .Add(Long(b.Named(PSETID_Task, 0x8112, PT_LONG), 3))
                .Add(Long(b.Named(PSETID_Task, 0x8101, PT_LONG), 4))
                .Add(Binary(b.Named(PSETID_Common, 0x8519, PT_BINARY), "SPARTAK_CHAMPION_task-42@example.com"));
        },
        {"METHOD:PUBLISH\r\n", "BEGIN:VTODO\r\n", "DTSTART;TZID=\"UTC\":20240325T000000\r\n",
            "DUE;TZID=\"UTC\":20240328T000000\r\n", "PERCENT-COMPLETE:37\r\n", "SEQUENCE:3\r\nX-MAPI-SEQUENCE:3\r\n",
            "STATUS:X-MAPI-DEFERRED\r\n", "UID:task-42@example.com\r\n",
            "ORGANIZER;CN=\"Mailbox Owner\":MAILTO:owner@example.test\r\n"},
        {}},
    {"a recurring task ends at the end of its last day and has no exception dates", "IPM.Task",
        [](MessageBuilder& b) {
            Task(b);
            calendartest::StoredPattern weekly;
            weekly.specific = {0x02};
            weekly.extension = false;
            weekly.endType = 0x2021;
            weekly.startDate = Minutes(2024, 3, 25);
            weekly.endDate = Minutes(2024, 4, 22);
            weekly.deleted = {Minutes(2024, 4, 1)};
            b.Add(Binary(PR_SEARCH_KEY, "key"))
                .Add(Boolean(b.Named(PSETID_Task, 0x8126, PT_BOOLEAN), true))
                .Add(Binary(b.Named(PSETID_Task, 0x8116, PT_BINARY), calendartest::PatternBytes(weekly)));
        },
        {"RRULE:FREQ=WEEKLY;UNTIL=20240422T235959Z;INTERVAL=1;BYDAY=MO\r\n"}, {"EXDATE"}},
    {"a task's other global identifier is hexadecimal; its reminder a date-time", "IPM.Task",
        [](MessageBuilder& b) {
            Task(b);
            b.Add(Binary(b.Named(PSETID_Common, 0x8519, PT_BINARY), std::string("\x01\x02\xAB", 3)))
                .Add(Boolean(b.Named(PSETID_Common, 0x8503, PT_BOOLEAN), true))
                .Add(Time(b.Named(PSETID_Common, 0x8502, PT_SYSTIME), FileTime(2024, 3, 27, 9, 0, 0)));
        },
        {"UID:0102AB\r\n", "TRIGGER;VALUE=DATE-TIME:20240327T090000Z\r\n"}, {}},
};

TEST(CalendarConversion, EachCaseWritesItsLines)
{
    const bool validators = testsupport::MissingValidators(testsupport::OutputCheck::Message).empty();
    for (const CalendarCase& c : kCases) {
        MessageBuilder b = c.messageClass == "IPM.Appointment" && std::string(c.label).find("organizer") != std::string::npos
                               ? Unsent(c.messageClass)
                               : convtest::SentMail(c.messageClass, u"Review");
        c.build(b);
        convtest::TestConfig config;
        config.Text(0x3003001E, "owner@example.test").Text(0x3001001E, "Mailbox Owner").Text(0x0076001E, "owner@example.test");
        const convtest::Conversion converted = convtest::Convert(b.Document(), 0x01, &config);
        ASSERT_EQ(converted.status, S_OK) << c.label;
        convtest::ExpectTexts(Unfolded(CalendarBody(converted.output)), c.present, c.absent, c.label);
        if (!validators)
            continue;
        const testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(testsupport::OutputCheck::Message, converted.output);
        EXPECT_TRUE(verdict.valid) << c.label << "\n" << verdict.Describe();
    }
}

// A task-assignment answer describes its embedded task: the assigner as organizer, the sender as the
// attendee who answered.
TEST(CalendarConversion, AnAcceptedTaskAssignmentIsAReplyAboutItsTask)
{
    MessageBuilder b = convtest::SentMail("IPM.TaskRequest.Accept", u"Task Accepted: Report");
    convtest::MsgMessage& task = b.AddEmbedded(b.Message(), u"Report");
    b.Add(task, convtest::Ansi(PR_MESSAGE_CLASS_A, "IPM.Task"))
        .Add(task, Unicode(PR_SUBJECT_W, u"Report"))
        .Add(task, Unicode(PR_BODY_W, u"Quarterly numbers"))
        .Add(task, Binary(PR_SEARCH_KEY, "key"));
    convtest::MsgRecipient& assigner = task.recipients.emplace_back();
    assigner.properties = {Long(PR_RECIPIENT_TYPE, 1), Unicode(PR_DISPLAY_NAME_W, u"Bob"), Unicode(PR_ADDRTYPE_W, u"SMTP"),
        Unicode(PR_EMAIL_ADDRESS_W, u"bob@example.com")};
    const convtest::Conversion converted = convtest::Convert(b.Document());
    ASSERT_EQ(converted.status, S_OK);
    const std::string body = Unfolded(CalendarBody(converted.output));
    convtest::ExpectTexts(converted.output, {"Content-Type: multipart/alternative;", "Content-Type: text/plain;",
                                                "Quarterly numbers", "Content-Type: text/calendar;\r\n method=\"REPLY\";"},
        {"application/ms-tnef"}, "the answer's shape");
    convtest::ExpectTexts(body, {"METHOD:REPLY\r\n", "SUMMARY:Report\r\n", "ORGANIZER;CN=\"Bob\":MAILTO:bob@example.com\r\n",
                                    "ATTENDEE;PARTSTAT=ACCEPTED;RSVP=TRUE;CN=\"Anna\":MAILTO:anna@example.com\r\n",
                                    "UID:6B6579\r\n", "REQUEST-STATUS:2.0;Success\r\n"},
        {"\r\nSTATUS:"}, "the answer's calendar");
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(testsupport::OutputCheck::Message, converted.output);
    EXPECT_TRUE(verdict.valid) << verdict.Describe();
}

TEST(CalendarConversion, AMeetingMessageIsSubjectedWithItsPrefixAndTopic)
{
    MessageBuilder b = convtest::SentMail("IPM.Schedule.Meeting.Resp.Pos", u"Stored subject");
    Meeting(b);
    b.Add(Unicode(PR_SUBJECT_PREFIX_W, u"Accepted: ")).Add(Unicode(PR_CONVERSATION_TOPIC_W, u"Weekly review"));
    const convtest::Conversion converted = convtest::Convert(b.Document());
    ASSERT_EQ(converted.status, S_OK);
    convtest::ExpectTexts(convtest::HeaderBlock(converted.output), {"Subject: Accepted: Weekly review\r\n"},
        {"Stored subject"}, "a meeting answer's subject");
    convtest::ExpectTexts(converted.output, {"SUMMARY:Stored subject\r\n"}, {}, "its summary");
}

TEST(CalendarConversion, ATaskAssignmentWithoutItsTaskKeepsItsTnef)
{
    MessageBuilder b = convtest::SentMail("IPM.TaskRequest", u"Task Request: Report");
    b.AddFile(u"notes.txt", "not a task");
    const convtest::Conversion converted = convtest::Convert(b.Document());
    ASSERT_EQ(converted.status, S_OK);
    convtest::ExpectTexts(converted.output, {"application/ms-tnef"}, {"text/calendar"}, "a task request without its task");
}

} // namespace
