// LDIF entries from Global Address List rows.
#include "ex2qln/directory/LdifEntryWriter.h"

#include "ex2qln/directory/AnsiText.h"
#include "ex2qln/directory/GalTable.h"
#include "ex2qln/directory/LdifText.h"

#include <mapitags.h>

#include <cctype>

namespace ex2qln::directory {
namespace {

enum Column : ULONG { kDisplayType, kCommonName, kSurname, kFirstAttribute };

void AppendLine(std::string& entry, std::string_view name, std::string_view value)
{
    entry += name;
    AppendLdifValue(entry, value);
    entry += '\n';
}

void AppendNumberLine(std::string& entry, std::string_view name, long number)
{
    entry += name;
    entry += ": ";
    entry += std::to_string(number);
    entry += '\n';
}

// A directory server takes an entry only with a structural object class, and that class must allow
// the attribute the entry is named by; these are the standard classes for the usual naming
// attributes.
struct ContainerClass {
    std::string_view namingAttribute;
    std::string_view objectClass;
};
constexpr ContainerClass kContainerClasses[] = {
    {"cn", "organizationalRole"}, {"ou", "organizationalUnit"}, {"o", "organization"},
    {"dc", "domain"},             {"l", "locality"},            {"c", "country"},
};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t index = 0; index < a.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(a[index])) != std::tolower(static_cast<unsigned char>(b[index])))
            return false;
    }
    return true;
}

std::string_view BinaryText(const SBinary& binary)
{
    return binary.lpb == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(binary.lpb), binary.cb);
}

} // namespace

LdifEntryWriter::LdifEntryWriter(const LdifMap& map, std::string_view targetDn, unsigned codePage)
    : map_(map), targetDn_(AnsiToUtf8(targetDn, codePage)), codePage_(codePage)
{
}

std::vector<ULONG> LdifEntryWriter::Columns() const
{
    std::vector<ULONG> columns = {PR_DISPLAY_TYPE, map_.commonNameTag, map_.surnameTag};
    for (const LdifAttribute& attribute : map_.attributes)
        columns.push_back(attribute.tag);
    return columns;
}

std::string LdifEntryWriter::ContainerEntry() const
{
    if (targetDn_.empty())
        return {};
    std::string entry;
    AppendLine(entry, "dn", targetDn_);
    entry += "objectClass: top\n";
    std::string type;
    std::string value;
    if (FirstRdnValue(targetDn_, type, value)) {
        for (const ContainerClass& container : kContainerClasses) {
            if (!EqualNoCase(type, container.namingAttribute))
                continue;
            entry += "objectClass: " + std::string(container.objectClass) + "\n";
            AppendLine(entry, type, value);
            break;
        }
    }
    entry += '\n';
    return entry;
}

bool LdifEntryWriter::AppendEntry(const SRow& row, std::string& output) const
{
    const SPropValue* displayType = ValueOfType(row, kDisplayType, PT_LONG);
    const SPropValue* commonNameValue = ValueOfType(row, kCommonName, PT_STRING8);
    if (displayType == nullptr || displayType->Value.l != static_cast<LONG>(DT_REMOTE_MAILUSER) ||
        commonNameValue == nullptr || commonNameValue->Value.lpszA == nullptr)
        return false;
    // Without a name there is no DN to place the entry at.
    const std::string commonName = AnsiToUtf8(commonNameValue->Value.lpszA, codePage_);
    if (commonName.empty())
        return false;

    std::string dn = "cn=" + EscapeDnValue(commonName);
    if (!targetDn_.empty())
        dn += "," + targetDn_;
    std::string entry;
    AppendLine(entry, "dn", dn);
    entry += "objectClass: inetOrgPerson\n";
    AppendLine(entry, "cn", commonName);
    const SPropValue* surnameValue = ValueOfType(row, kSurname, PT_STRING8);
    std::string surname;
    if (surnameValue != nullptr && surnameValue->Value.lpszA != nullptr)
        surname = AnsiToUtf8(surnameValue->Value.lpszA, codePage_);
    AppendLine(entry, "sn", surname.empty() ? DeriveSurname(commonName) : surname);
    for (std::size_t index = 0; index < map_.attributes.size(); ++index) {
        const ULONG column = kFirstAttribute + static_cast<ULONG>(index);
        if (column < row.cValues && row.lpProps != nullptr)
            AppendAttributeValues(map_.attributes[index], row.lpProps[column], entry);
    }
    entry += '\n';
    output += entry;
    return true;
}

void LdifEntryWriter::AppendAttributeValues(const LdifAttribute& attribute, const SPropValue& value,
                                            std::string& entry) const
{
    const std::string_view name = attribute.name;
    // Empty texts are left out like missing ones: directory string syntaxes take no empty value.
    auto appendText = [&](const char* text) {
        if (text != nullptr && *text != '\0')
            AppendLine(entry, name, AnsiToUtf8(text, codePage_));
    };
    auto appendBinary = [&](const SBinary& binary) {
        if (binary.cb != 0 && binary.lpb != nullptr)
            AppendLine(entry, name, BinaryText(binary));
    };
    const PV& data = value.Value;
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_I2:
        return AppendNumberLine(entry, name, data.i);
    case PT_LONG:
        return AppendNumberLine(entry, name, data.l);
    case PT_BOOLEAN:
        entry += std::string(name) + ": " + (data.b ? "YES" : "NO") + "\n";
        return;
    case PT_STRING8:
        return appendText(data.lpszA);
    case PT_BINARY:
        return appendBinary(data.bin);
    case PT_MV_I2:
        for (ULONG index = 0; data.MVi.lpi != nullptr && index < data.MVi.cValues; ++index)
            AppendNumberLine(entry, name, data.MVi.lpi[index]);
        return;
    case PT_MV_LONG:
        for (ULONG index = 0; data.MVl.lpl != nullptr && index < data.MVl.cValues; ++index)
            AppendNumberLine(entry, name, data.MVl.lpl[index]);
        return;
    case PT_MV_STRING8:
        for (ULONG index = 0; data.MVszA.lppszA != nullptr && index < data.MVszA.cValues; ++index)
            appendText(data.MVszA.lppszA[index]);
        return;
    case PT_MV_BINARY:
        for (ULONG index = 0; data.MVbin.lpbin != nullptr && index < data.MVbin.cValues; ++index)
            appendBinary(data.MVbin.lpbin[index]);
        return;
    default:
        return;
    }
}

} // namespace ex2qln::directory
