// CAppointmentMsg: appointments and meeting messages (requests, cancellations, responses and the
// changed occurrences of a series) as one VEVENT.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "mmconv/calendar/Calendar.h"

namespace mmconv {

// Calendar kinds (GetCalendarIPMMessageClass).
enum AppointmentKind : std::size_t {
    kKindAppointment = 0,
    kKindRequest = 1,
    kKindCancellation = 2,
    kKindResponse = 3,
    kKindPositiveResponse = 5,
    kKindTentativeResponse = 6,
    kKindNegativeResponse = 7,
};

class CAppointmentMsg final : public CCalendar {
public:
    using CCalendar::CCalendar;

    // The kind from the message class, matched by prefix: upwards every response is kind 3,
    // downwards (`answers`) responses resolve to 5, 6 or 7. A class that matches nothing is kind 0 for
    // a changed occurrence and a failure otherwise.
    HRESULT GetCalendarIPMMessageClass(std::size_t& kind, bool answers = false);
    // Whether the item was written by the program's own import, whose stored times are local.
    bool IsCreatedByInternalParser();

protected:
    HRESULT SaveCalendarComponentContent(MimeOutput& output, unsigned& column) override;
    HRESULT SaveRRuleProp(MimeOutput& output, unsigned& column) override;
    HRESULT SaveSequenceProp(MimeOutput& output, unsigned& column) override;
    HRESULT SaveStatusProp(MimeOutput& output, unsigned& column) override;
    HRESULT SaveCalendarVAlarmContent(MimeOutput& output, unsigned& column) override;
    HRESULT SaveMeetingParticipators(MimeOutput& output, unsigned& column) override;
    HRESULT SaveUID(MimeOutput& output, unsigned& column) override;
    bool IsRecurring() override;
    HRESULT GetMethod(std::string& method) override;
    bool UseExceptions4Save() override { return true; }

private:
    HRESULT GetStatus(std::string& status);
    bool IsAllDay();
    // The time form of the event's DTSTART and DTEND.
    struct TimeForm {
        bool sourceUtc = true;
        bool writeUtc = true;
        bool withTime = true;
    };
    TimeForm EventTimeForm();
    HRESULT SaveEventTime(MimeOutput& output, unsigned& column, const char* name, std::optional<std::uint64_t> value,
        const TimeForm& form);
    struct EventTimeSources {
        ULONG proposedLid;
        ULONG wholeLid;
        ULONG tag;
        ULONG olderLid;
    };
    std::optional<std::uint64_t> EventTime(const EventTimeSources& sources, bool proposed);
    HRESULT SaveRecurrenceId(MimeOutput& output, unsigned& column, const std::optional<std::string>& globalId,
        const std::optional<std::string>& cleanId);
    HRESULT SaveResponseParticipants(MimeOutput& output, unsigned& column, std::size_t kind);
    HRESULT SaveInvitationParticipants(MimeOutput& output, unsigned& column, std::size_t kind);
    // The organizer from the sender properties of the message or of the series it belongs to.
    HRESULT SaveSenderOrganizer(MimeOutput& output, unsigned& column);
    std::string OwnAddress();
};

} // namespace mmconv
