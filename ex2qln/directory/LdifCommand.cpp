// The ldif export: map, columns, the container entry and the contact entries.
#include "ex2qln/directory/LdifCommand.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/directory/AttributeMap.h"
#include "ex2qln/directory/GalTable.h"
#include "ex2qln/directory/LdifEntryWriter.h"
#include "ex2qln/directory/OutputFile.h"
#include "platform/locale/Locale.h"

#include <mapicode.h>

#include <cstdio>
#include <string>
#include <vector>

namespace ex2qln::directory {
namespace {

unsigned AsUnsigned(HRESULT status) { return static_cast<unsigned>(status); }

HRESULT ReadLdifMap(std::optional<std::string_view> iniPath, LdifMap& map)
{
    if (!iniPath) {
        map = DefaultLdifMap();
        return S_OK;
    }
    std::vector<MapLine> lines;
    HRESULT status = ReadMapSectionReporting(*iniPath, "ldif", lines);
    if (FAILED(status))
        return status;
    std::string rejected;
    LdifMapProblem problem = LdifMapProblem::kNone;
    status = BuildLdifMap(lines, map, rejected, problem);
    if (problem == LdifMapProblem::kPropertyType)
        std::fprintf(stderr, "Unsupported property type -- %s.\n", rejected.c_str());
    else if (problem == LdifMapProblem::kAttributeName)
        std::fprintf(stderr, "Unsupported attribute name -- %s.\n", rejected.c_str());
    return status;
}

} // namespace

HRESULT LdifCommand(IMAPISession*, IABContainer* gal, std::optional<std::string_view> ldifPath,
                    std::string_view targetDn, std::optional<std::string_view> iniPath)
{
    LdifMap map;
    HRESULT status = ReadLdifMap(iniPath, map);
    if (FAILED(status))
        return status;

    const LdifEntryWriter writer(map, targetDn, platform::AnsiCodePage());
    MapiPtr<IMAPITable> table;
    status = OpenGalColumns(gal, writer.Columns(), "Can not access GAL (needed for ldif) [%#x].\n", table);
    if (FAILED(status))
        return status;

    OutputFile output;
    if (HRESULT opened = output.Open(ldifPath); FAILED(opened))
        return opened;
    output.Write(writer.ContainerEntry());
    const ScanResult scan = ScanRows(table.get(), "LDIF", [&](const SRow& row) {
        std::string entry;
        if (writer.AppendEntry(row, entry))
            output.Write(entry);
    });
    // A row batch that fails leaves the file incomplete, which the caller must hear about.
    if (FAILED(scan.status))
        status = QLN_CHECK(scan.status);
    if (HRESULT closed = output.Close(); FAILED(closed) && SUCCEEDED(status))
        status = closed;
    std::printf("LDIF: Finished (%u GAL records processed of %u) [%#x].\n", static_cast<unsigned>(scan.processed),
                static_cast<unsigned>(scan.rowCount), AsUnsigned(status));
    return status;
}

} // namespace ex2qln::directory
