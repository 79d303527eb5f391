// CSV quoting and value forms of the accounts file.
#include "ex2qln/directory/CsvFields.h"

namespace ex2qln::directory {

void AppendCsvText(std::string& row, std::string_view text, std::string_view separator)
{
    // A line break would end the row for the reader, so it needs the quotes as much as the separator.
    const bool quoted = text.starts_with('"') ||
                        (!separator.empty() && text.find(separator) != std::string_view::npos) ||
                        text.find_first_of("\r\n") != std::string_view::npos;
    if (!quoted) {
        row += text;
        return;
    }
    row += '"';
    for (const char character : text) {
        if (character == '"')
            row += '"';
        row += character;
    }
    row += '"';
}

void AppendCsvValue(std::string& row, const SPropValue& value, std::string_view separator)
{
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_STRING8:
        if (value.Value.lpszA != nullptr)
            AppendCsvText(row, value.Value.lpszA, separator);
        return;
    case PT_I2:
        row += std::to_string(value.Value.i);
        return;
    case PT_LONG:
        row += std::to_string(value.Value.l);
        return;
    case PT_BOOLEAN:
        row += value.Value.b ? "YES" : "NO";
        return;
    default:
        return;
    }
}

} // namespace ex2qln::directory
