// The LDIF entries of the ldif export: the container entry and one inetOrgPerson per contact row.
#pragma once

#include "ex2qln/directory/AttributeMap.h"

#include <mapidefs.h>

#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::directory {

class LdifEntryWriter {
public:
    // `targetDn` and the row's strings are in `codePage` (the ANSI code page); the entries are UTF-8.
    LdifEntryWriter(const LdifMap& map, std::string_view targetDn, unsigned codePage);

    // The columns the rows must carry, in this order: display type, common name, surname, then one
    // per map attribute.
    std::vector<ULONG> Columns() const;

    // The entry of the target DN itself, or nothing when the target DN is empty: "top" and, when the
    // DN is named by cn, ou, o, dc, l or c, the structural class for it with the naming value.
    std::string ContainerEntry() const;

    // Appends the entry of a row with display type DT_REMOTE_MAILUSER and a common name; false,
    // with nothing appended, for any other row.
    bool AppendEntry(const SRow& row, std::string& output) const;

private:
    void AppendAttributeValues(const LdifAttribute& attribute, const SPropValue& value, std::string& entry) const;

    const LdifMap& map_;
    std::string targetDn_;  // in UTF-8
    unsigned codePage_;
};

} // namespace ex2qln::directory
