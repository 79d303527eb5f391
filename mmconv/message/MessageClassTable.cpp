// The class table and its matcher.
#include "mmconv/message/MessageClassTable.h"

#include <array>

#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/AsciiCase.h"

namespace mmconv {
namespace {

constexpr std::size_t kMaxClassLength = 511;

// Outlook's own form classes.
constexpr std::array<std::string_view, 27> kOutlookFormClasses = {
    "IPM.Appointment", "IPM.Schedule.Meeting.Request", "IPM.Schedule.Meeting.Canceled",
    "IPM.Schedule.Meeting.Resp", "IPM.Schedule.Meeting.Resp.Pos", "IPM.Schedule.Meeting.Resp.Tent",
    "IPM.Schedule.Meeting.Resp.Neg", "REPORT.IPM.Note.IPNRN", "REPORT.IPM.Note.IPNNRN", "REPORT.IPM.Note.DR",
    "REPORT.IPM.Note.NDR", "IPM.TaskRequest.Accept", "IPM.TaskRequest.Decline", "IPM.TaskRequest.Update",
    "IPM.Task", "IPM.TaskRequest", "IPM.Note.SMIME.MultipartSigned", "IPM.Note.RECEIPT.SMIME",
    "IPM.Note.SMIME", "IPM.Activity", "IPM.StickyNote", "IPM.Note", "IPM.Contact", "IPM.DistList",
    "IPM.Post", "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}", "IPM.Document",
};

const std::array<std::string_view, kMessageClassRows>& ClassNames()
{
    static const std::array<std::string_view, kMessageClassRows> names = [] {
        std::array<std::string_view, kMessageClassRows> table{};
        for (std::size_t row = 0; row < kMessageClassRows; ++row)
            table[row] = MessageClassOfRow(row);
        return table;
    }();
    return names;
}

} // namespace

std::string_view MessageClassOfRow(std::size_t row)
{
    if (row >= kMessageClassRows)
        return {};
    return VocabularyWord(static_cast<Vocab>(static_cast<std::size_t>(Vocab::ClassActivity) + row));
}

std::string_view ContentClassOfRow(std::size_t row)
{
    if (row >= kMessageClassRows)
        return {};
    return VocabularyWord(static_cast<Vocab>(static_cast<std::size_t>(Vocab::ContentClassActivity) + row));
}

std::size_t DetermineCustomClass(std::string_view className, std::span<const std::string_view> names,
    bool* prefixOnly)
{
    if (prefixOnly != nullptr)
        *prefixOnly = false;
    className = className.substr(0, kMaxClassLength);
    std::size_t result = names.size();
    for (std::size_t row = 0; row < names.size(); ++row) {
        const std::string_view name = names[row].substr(0, kMaxClassLength);
        if (EqualIgnoringAsciiCase(className, name)) {
            if (prefixOnly != nullptr)
                *prefixOnly = false;
            return row;
        }
        if (name.size() < className.size() && className[name.size()] == '.' &&
            EqualIgnoringAsciiCase(className.substr(0, name.size()), name)) {
            result = row;
            if (prefixOnly != nullptr)
                *prefixOnly = true;
        }
    }
    return result;
}

std::size_t MessageClassRowOf(std::string_view className)
{
    return DetermineCustomClass(className, ClassNames());
}

bool IsCustomFormClass(std::string_view className)
{
    bool prefixOnly = false;
    const std::size_t row = DetermineCustomClass(className, kOutlookFormClasses, &prefixOnly);
    return row < kOutlookFormClasses.size() && prefixOnly;
}

} // namespace mmconv
