// The mailboxes export: map, columns, the filter on mailbox users and the CSV rows.
#include "ex2qln/directory/MailboxesCommand.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/directory/AttributeMap.h"
#include "ex2qln/directory/CsvFields.h"
#include "ex2qln/directory/GalTable.h"
#include "ex2qln/directory/OutputFile.h"
#include "platform/locale/Locale.h"

#include <mapicode.h>
#include <mapitags.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ex2qln::directory {
namespace {

// The fixed columns; the home database only tells mailbox users from the rest and is not written.
enum FixedColumn : ULONG { kAccount, kHomeDatabase, kExchangeAddress, kSmtpAddress, kDisplayName, kFixedColumns };
constexpr ULONG kFixedTags[kFixedColumns] = {PR_ACCOUNT_A, PR_EMS_AB_HOME_MDB_A, PR_EMAIL_ADDRESS_A,
                                             PR_SMTP_ADDRESS_A, PR_DISPLAY_NAME_A};

unsigned AsUnsigned(HRESULT status) { return static_cast<unsigned>(status); }

HRESULT ReadCsvMap(std::optional<std::string_view> iniPath, CsvMap& map)
{
    if (!iniPath)
        return S_OK;
    std::vector<MapLine> lines;
    HRESULT status = ReadMapSectionReporting(*iniPath, "csv", lines);
    if (FAILED(status))
        return status;
    std::string rejected;
    status = BuildCsvMap(lines, map, rejected);
    if (FAILED(status))
        std::fprintf(stderr, "Unsupported property type for %s.\n", rejected.c_str());
    return status;
}

// The locale's list separator, "," when it has none.
std::string FieldSeparator()
{
    std::string separator = platform::ListSeparator();
    return separator.empty() ? std::string(1, ',') : separator;
}

std::string HeaderLine(const CsvMap& map, std::string_view separator)
{
    std::string line = "account";
    for (const char* title : {"dn", "mailbox", "RealName"}) {
        line += separator;
        line += title;
    }
    for (const std::string& title : map.titles) {
        line += separator;
        AppendCsvText(line, title, separator);
    }
    line += '\n';
    return line;
}

bool IsMailboxUser(const SRow& row)
{
    return ValueOfType(row, kAccount, PT_STRING8) != nullptr && ValueOfType(row, kHomeDatabase, PT_STRING8) != nullptr &&
           ValueOfType(row, kExchangeAddress, PT_STRING8) != nullptr;
}

std::string DataLine(const SRow& row, std::string_view separator)
{
    std::string line;
    for (ULONG column = 0; column < row.cValues; ++column) {
        if (column == kHomeDatabase)
            continue;
        if (column != kAccount)
            line += separator;
        AppendCsvValue(line, row.lpProps[column], separator);
    }
    line += '\n';
    return line;
}

} // namespace

HRESULT MailboxesCommand(IMAPISession*, IABContainer* gal, std::optional<std::string_view> accountsPath,
                         std::optional<std::string_view> iniPath)
{
    CsvMap map;
    HRESULT status = ReadCsvMap(iniPath, map);
    if (FAILED(status))
        return status;

    std::vector<ULONG> tags(std::begin(kFixedTags), std::end(kFixedTags));
    tags.insert(tags.end(), map.tags.begin(), map.tags.end());
    MapiPtr<IMAPITable> table;
    status = OpenGalColumns(gal, tags, "Can not set GAL restriction [%#x].\n", table);
    if (FAILED(status))
        return status;

    OutputFile output;
    if (HRESULT opened = output.Open(accountsPath); FAILED(opened))
        return opened;
    const std::string separator = FieldSeparator();
    output.Write(HeaderLine(map, separator));

    const ScanResult scan = ScanRows(table.get(), "CSV", [&](const SRow& row) {
        if (IsMailboxUser(row))
            output.Write(DataLine(row, separator));
    });
    // A row batch that fails leaves the file incomplete, which the caller must hear about.
    if (FAILED(scan.status))
        status = QLN_CHECK(scan.status);
    if (HRESULT closed = output.Close(); FAILED(closed) && SUCCEEDED(status))
        status = closed;
    std::printf("CSV: Finished (%u GAL records processed of %u) [%#x].\n", static_cast<unsigned>(scan.processed),
                static_cast<unsigned>(scan.rowCount), AsUnsigned(status));
    return status;
}

} // namespace ex2qln::directory
