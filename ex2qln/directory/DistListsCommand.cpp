// The distlists export: list rows, their member tables and the script and side file.
#include "ex2qln/directory/DistListsCommand.h"

#include "ex2qln/cli/CliQuoting.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/directory/GalTable.h"
#include "ex2qln/directory/GroupScript.h"
#include "ex2qln/directory/OutputFile.h"
#include "platform/locale/Locale.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ex2qln::directory {
namespace {

enum Column : ULONG { kDisplayType, kEntryId, kSmtpAddress, kDisplayName, kColumns };
constexpr ULONG kListTags[kColumns] = {PR_DISPLAY_TYPE, PR_ENTRYID, PR_SMTP_ADDRESS_A, PR_DISPLAY_NAME_A};

unsigned AsUnsigned(HRESULT status) { return static_cast<unsigned>(status); }

// The SMTP addresses of the list's members, read one row at a time; members without one, or whose
// address could not stand on a script line, are left out.
HRESULT ReadMembers(IABContainer* gal, const SBinary& entryId, std::vector<std::string>& members)
{
    ULONG objectType = 0;
    MapiPtr<IDistList> list;
    HRESULT status = gal->OpenEntry(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), &IID_IDistList, 0,
                                    &objectType, list.put_unknown());
    if (FAILED(status))
        return status;
    if (!list)
        return MAPI_E_NOT_FOUND;
    const ULONG smtpAddress = PR_SMTP_ADDRESS_A;
    MapiBuffer<SPropTagArray> columns;
    status = AllocateTagList({&smtpAddress, 1}, columns);
    if (FAILED(status))
        return status;
    MapiPtr<IMAPITable> table;
    status = OpenContentsTable(list.get(), columns.get(), table);
    if (FAILED(status))
        return status;
    while (true) {
        MapiRows rows;
        status = table->QueryRows(1, 0, rows.put());
        if (FAILED(status) || rows.size() == 0)
            return status;
        const SPropValue* address = ValueOfType(rows->aRow[0], 0, PT_STRING8);
        if (address != nullptr && address->Value.lpszA != nullptr && IsScriptWord(address->Value.lpszA))
            members.emplace_back(address->Value.lpszA);
    }
}

class ListExport {
public:
    ListExport(IABContainer* gal, OutputFile& script, OutputFile* sideFile)
        : gal_(gal), script_(script), sideFile_(sideFile), codePage_(platform::AnsiCodePage())
    {
    }

    void Visit(const SRow& row);
    HRESULT Status() const { return status_; }

private:
    IABContainer* gal_;
    OutputFile& script_;
    OutputFile* sideFile_;
    unsigned codePage_;
    HRESULT status_ = S_OK;
};

void ListExport::Visit(const SRow& row)
{
    const SPropValue* displayType = ValueOfType(row, kDisplayType, PT_LONG);
    const SPropValue* entryId = ValueOfType(row, kEntryId, PT_BINARY);
    const SPropValue* smtpAddress = ValueOfType(row, kSmtpAddress, PT_STRING8);
    if (row.cValues != kColumns || displayType == nullptr || displayType->Value.l != static_cast<LONG>(DT_DISTLIST) ||
        entryId == nullptr || smtpAddress == nullptr || smtpAddress->Value.lpszA == nullptr)
        return;
    const std::string_view address = smtpAddress->Value.lpszA;
    // A line break in the address would start a second command in the script.
    if (!IsScriptWord(address)) {
        std::string shown;
        cli::AppendCliQuoted(shown, address);
        std::fprintf(stderr, "WARNING: Skipped the list '%s': its address holds a control character.\n",
                     shown.c_str());
        return;
    }
    if (address.find('&') != std::string_view::npos && sideFile_ != nullptr)
        sideFile_->Write(std::string(address) + "\n");

    std::vector<std::string> members;
    status_ = QLN_CHECK(ReadMembers(gal_, entryId->Value.bin, members));
    if (FAILED(status_)) {
        std::fprintf(stderr, "WARNING: Failed to open '%s' (needed for distlist) [%#x].\n", smtpAddress->Value.lpszA,
                     AsUnsigned(status_));
        status_ = S_OK;
        return;
    }
    const SPropValue* displayName = ValueOfType(row, kDisplayName, PT_STRING8);
    std::optional<std::string_view> name;
    if (displayName != nullptr && displayName->Value.lpszA != nullptr)
        name = displayName->Value.lpszA;
    script_.Write(CreateGroupLine(address, name, members, codePage_));
}

} // namespace

HRESULT DistListsCommand(IMAPISession*, IABContainer* gal, std::optional<std::string_view> scriptPath)
{
    MapiPtr<IMAPITable> table;
    HRESULT status = OpenGalColumns(gal, kListTags, "Can not access GAL (needed for distlist) [%#x].\n", table);
    if (FAILED(status))
        return status;

    OutputFile script;
    OutputFile sideFile;
    if (HRESULT opened = script.Open(scriptPath); FAILED(opened))
        return opened;
    if (scriptPath) {
        if (HRESULT opened = sideFile.Open(std::string(*scriptPath) + ".errors"); FAILED(opened))
            return opened;
    }

    ListExport lists(gal, script, scriptPath ? &sideFile : nullptr);
    const ScanResult scan = ScanRows(table.get(), "LDIF", [&lists](const SRow& row) { lists.Visit(row); });
    status = lists.Status();
    // A row batch that fails leaves the script incomplete, which the caller must hear about.
    if (FAILED(scan.status))
        status = QLN_CHECK(scan.status);
    if (HRESULT closed = script.Close(); FAILED(closed) && SUCCEEDED(status))
        status = closed;
    if (HRESULT closed = sideFile.Close(); FAILED(closed) && SUCCEEDED(status))
        status = closed;
    std::printf("LIST: Finished (%u GAL records processed of %u) [%#x].\n", static_cast<unsigned>(scan.processed),
                static_cast<unsigned>(scan.rowCount), AsUnsigned(status));
    return status;
}

} // namespace ex2qln::directory
