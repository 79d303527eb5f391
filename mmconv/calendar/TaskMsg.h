// CTaskMsg: tasks and task-assignment messages as one VTODO. A task-assignment message carries the
// task as an embedded message, and its calendar part describes that task.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "mmconv/calendar/Calendar.h"

namespace mmconv {

// Task kinds (GetParentIPMMessageClass).
enum TaskKind : std::size_t {
    kKindTask = 0,
    kKindTaskRequest = 1,
    kKindTaskAccept = 2,
    kKindTaskDecline = 3,
    kKindTaskUpdate = 4,
    kTaskKinds = 5,
};

class CTaskMsg final : public CCalendar {
public:
    using CCalendar::CCalendar;

    // A task-assignment message with its embedded task becomes multipart/alternative of the task's
    // bodies and calendar part (in multipart/mixed with the task's attachments); one without an
    // embedded task, and any message to be saved as TNEF, keeps its native TNEF.
    HRESULT SaveContent(MimeOutput& output) override;
    HRESULT GetBodyType(unsigned& bodyType) override;

    // The kind of the item's own class, or kTaskKinds when it is none of them.
    std::size_t GetCalendarIPMMessageClass();
    // The kind of the task-assignment message this task is embedded in, else of the task itself.
    std::size_t GetParentIPMMessageClass();

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
    std::size_t Kind();
    HRESULT SaveRequestContent(MimeOutput& output);
    HRESULT SaveTaskTime(MimeOutput& output, unsigned& column, const char* name, ULONG lid);
    HRESULT SaveOwnSide(MimeOutput& output, unsigned& column, bool organizerWritten);

    std::optional<std::size_t> kind_;
};

} // namespace mmconv
