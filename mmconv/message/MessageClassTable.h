// The message class table: which row a MAPI message class falls into, the content class of each
// row, and the classes that count as Outlook's own forms.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace mmconv {

// Rows of the class table, in order; kRowNone means that no row matched.
enum MessageClassRow : std::size_t {
    kRowActivity,
    kRowTask,
    kRowStickyNote,
    kRowNote,
    kRowAppointment,
    kRowContact,
    kRowDistList,
    kRowSchedule,
    kRowTaskRequest,
    kRowPost,
    kRowException,
    kRowSmime,
    kRowSmimeMultipartSigned,
    kRowReceiptSmime,
    kRowReport,
    kRowRecallReport,
    kRowDocument,
    kRowNone,
};
inline constexpr std::size_t kMessageClassRows = kRowNone;

// The class name of a row ("IPM.Note" for kRowNote); empty for kRowNone.
std::string_view MessageClassOfRow(std::size_t row);
// The content-class value of a row; empty where the row writes none (and for kRowNone).
std::string_view ContentClassOfRow(std::size_t row);

// Matches a class name against a table of names (both cut to 511 characters), ignoring case. An
// equal name is the answer at once (prefixOnly false). Otherwise a name that the class continues
// with "." is a candidate (prefixOnly true) and a later candidate replaces an earlier one. Without
// either the answer is names.size().
std::size_t DetermineCustomClass(std::string_view className, std::span<const std::string_view> names,
    bool* prefixOnly = nullptr);

// The row of a class in the class table.
std::size_t MessageClassRowOf(std::string_view className);

// Whether the class continues one of Outlook's own form classes with a further "." part
// (IPM.Note.MyForm); a class equal to one of them does not count.
bool IsCustomFormClass(std::string_view className);

} // namespace mmconv
