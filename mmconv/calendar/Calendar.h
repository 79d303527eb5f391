// CCalendar: the common base of the calendar item converters. It writes an item as a text/calendar
// body (one VCALENDAR in UTF-8) through the content-line writer: the frame, the time zone, the
// properties every component carries, and the date-time, recurrence and time-zone forms the item
// kinds share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mmconv/calendar/VTimeZone.h"
#include "mmconv/message/MMMessage.h"

namespace mmconv {

// Named properties the calendar converters read (PSETID_Appointment, PSETID_Common, PSETID_Task,
// PSETID_Meeting: the named-property cache resolves all of them by LID).
inline constexpr ULONG kLidTimeZoneStruct = 0x8233;
inline constexpr ULONG kLidTimeZoneDescription = 0x8234;
inline constexpr ULONG kLidTimeZoneDefinitionStart = 0x825E;
inline constexpr ULONG kLidTimeZoneDefinitionRecur = 0x8260;
inline constexpr ULONG kLidPrivate = 0x8506;
inline constexpr ULONG kLidReminderSet = 0x8503;
inline constexpr ULONG kLidReminderSignalTime = 0x8560;

// Directions of TZFileTime2Time.
enum class TimeDirection { UtcToLocal = 1, LocalToUtc = 2 };

class CCalendar : public CMMMessage {
public:
    // `calendarContext` is the message this item is embedded in (null for a top-level item).
    CCalendar(IMessage* message, MMCnvSupport& support, ULONG flags, IMessage* calendarContext);
    ~CCalendar() override;

    HRESULT SaveCustomBody(MimeOutput& output) override;
    HRESULT GetSubject(std::string& subject) override;
    HRESULT GetMsgEncoding(unsigned& codePage) override;
    // The item's zone: PidLidTimeZoneStruct, else the zone definition of the series or of the start,
    // else the machine's; the name from PidLidTimeZoneDescription, else the definition's key name,
    // else "TimeZone".
    HRESULT GetMessageTZ(TimeZoneRule& rule, std::string& name) override;
    HRESULT GetBodyType(unsigned& bodyType) override;

    // Set by the converter choice when the item is one changed occurrence of a series.
    void MarkExceptionItem() { exceptionItem_ = true; }
    bool IsExceptionItem() const { return exceptionItem_; }

    // A FILETIME between UTC and the item's local time; the machine's own conversion when the item
    // has no usable zone.
    std::uint64_t TZFileTime2Time(std::uint64_t time, TimeDirection direction);

protected:
    HRESULT SaveCalendar(MimeOutput& output);
    virtual HRESULT SaveCalendarHeader(MimeOutput& output);
    // The properties every component carries; the item kinds write their own around it.
    virtual HRESULT SaveCalendarComponentContent(MimeOutput& output, unsigned& column);
    virtual HRESULT SaveRRuleProp(MimeOutput& output, unsigned& column) = 0;
    virtual HRESULT SaveSequenceProp(MimeOutput& output, unsigned& column) = 0;
    virtual HRESULT SaveStatusProp(MimeOutput& output, unsigned& column) = 0;
    virtual HRESULT SaveCalendarVAlarmContent(MimeOutput& output, unsigned& column) = 0;
    virtual HRESULT SaveDtStamp(MimeOutput& output, unsigned& column);
    virtual HRESULT SaveMeetingParticipators(MimeOutput& output, unsigned& column) = 0;
    virtual HRESULT SaveUID(MimeOutput& output, unsigned& column) = 0;
    virtual bool UseTimeZone4Save();
    virtual bool IsRecurring() = 0;
    // The iTIP method word; a failure leaves METHOD out.
    virtual HRESULT GetMethod(std::string& method) = 0;
    virtual bool UseExceptions4Save() = 0;

    // The METHOD written: GetMethod's word when the participants are what the method needs (one
    // organizer; attendees for a request, cancellation or counter-proposal, exactly one for a reply,
    // none for a publication). Otherwise none: the body is then a calendar object that is not an
    // iTIP message, and no participant is dropped to make it one.
    HRESULT WrittenMethod(std::string& method);

    // Content lines. Text is UTF-8; `escape` makes it a TEXT value.
    HRESULT OutputStringRfc2445(MimeOutput& output, std::string_view text, unsigned& column, bool escape = false);
    HRESULT OutputStringRfc2445W(MimeOutput& output, std::u16string_view text, unsigned& column, bool escape);
    // One date or date-time value, converted between UTC and the item's zone as needed: "...Z" in
    // UTC, a local date-time, or a date.
    HRESULT OutputFileTimeRfc2445(MimeOutput& output, std::uint64_t time, unsigned& column, bool sourceUtc,
        bool writeUtc, bool withTime);
    // The zone identifier that TZID names: the item's zone name when UseTimeZone4Save, without the
    // characters that TZID values cannot hold unescaped; empty when times are UTC.
    std::string ZoneName();
    HRESULT SaveTimeZone(MimeOutput& output, unsigned& column, const TimeZoneRule& rule, std::string_view name);
    // RRULE, EXDATE and RDATE for a pattern; `allDay` when the series starts on a date.
    HRESULT SaveRRule(MimeOutput& output, unsigned& column, std::span<const std::uint8_t> pattern, bool allDay);
    HRESULT SaveCustomTags(MimeOutput& output, unsigned& column, LONG level);
    // "X-MAPI-WHEN:" with the reminder signal time in UTC, when the item has one.
    HRESULT SaveAlarmWhenProp(MimeOutput& output, unsigned& column);
    // ";CN=" and the display name in double quotes; empty without a name or when it holds a double
    // quote. A name in single quotes loses them first.
    static std::string NameParameter(std::u16string_view displayName);

    // Property access for the item kinds: a named property by key, a tag of the message.
    std::optional<bool> NamedBoolean(ULONG lid);
    std::optional<LONG> NamedLong(ULONG lid);
    std::optional<std::uint64_t> NamedTime(ULONG lid);
    std::optional<std::string> NamedBinary(ULONG lid);
    std::optional<std::u16string> NamedUnicode(ULONG lid);
    // What names the item stably when it has no identifier of its own: its search key, else its
    // entry identifier, with its creation time (0 when it has none); nullopt without either key.
    struct StableKey {
        std::string bytes;
        std::uint64_t created = 0;
    };
    std::optional<StableKey> ItemStableKey();
    IMessage* CalendarContext() const { return calendarContext_.get(); }

private:
    HRESULT SaveCalendarContent(MimeOutput& output);
    HRESULT SaveBodyProps(MimeOutput& output, unsigned& column, const std::string& method);
    HRESULT SaveCategories(MimeOutput& output, unsigned& column);
    HRESULT SaveClass(MimeOutput& output, unsigned& column);
    // The item's own zone from its properties; false when it has none that can be used.
    bool ItemZone(TimeZoneRule& rule, std::u16string& keyName);
    HRESULT ReadMessageZone(TimeZoneRule& rule, std::string& name);
    const VTimeZone* Zone();
    // The participant lines, rendered once: the method depends on them and is written first.
    const std::string& ParticipantLines();

    MapiPtr<IMessage> calendarContext_;
    bool exceptionItem_ = false;
    bool zoneRead_ = false;
    std::unique_ptr<VTimeZone> zone_;
    std::optional<std::string> participantLines_;
    // The zone GetMessageTZ answers, read once.
    struct MessageZone {
        HRESULT status;
        TimeZoneRule rule;
        std::string name;
    };
    std::optional<MessageZone> messageZone_;
};

} // namespace mmconv
