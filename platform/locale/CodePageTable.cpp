// Windows code page numbers of the codeset names that the C library reports.
#include "platform/locale/Locale.h"

#include <array>
#include <cctype>
#include <string>

namespace platform {

namespace {

struct CodeSetEntry {
    std::string_view name;  // upper case, without "-", "_" and blanks
    unsigned codePage;
};

constexpr unsigned kUsAscii = 20127;

constexpr std::array kCodeSets = std::to_array<CodeSetEntry>({
    {"UTF8", 65001},
    {"ANSIX3.41968", kUsAscii},
    {"ASCII", kUsAscii},
    {"USASCII", kUsAscii},
    {"ISO88591", 28591},
    {"ISO88592", 28592},
    {"ISO88593", 28593},
    {"ISO88594", 28594},
    {"ISO88595", 28595},
    {"ISO88596", 28596},
    {"ISO88597", 28597},
    {"ISO88598", 28598},
    {"ISO88599", 28599},
    {"ISO885911", 874},
    {"ISO885913", 28603},
    {"ISO885915", 28605},
    {"KOI8R", 20866},
    {"KOI8U", 21866},
    {"CP1250", 1250},
    {"CP1251", 1251},
    {"CP1252", 1252},
    {"CP1253", 1253},
    {"CP1254", 1254},
    {"CP1255", 1255},
    {"CP1256", 1256},
    {"CP1257", 1257},
    {"CP1258", 1258},
    {"WINDOWS1250", 1250},
    {"WINDOWS1251", 1251},
    {"WINDOWS1252", 1252},
    {"CP866", 866},
    {"IBM866", 866},
    {"CP437", 437},
    {"CP850", 850},
    {"TIS620", 874},
    {"CP874", 874},
    {"EUCJP", 20932},
    {"SHIFTJIS", 932},
    {"SJIS", 932},
    {"CP932", 932},
    {"GB2312", 936},
    {"GBK", 936},
    {"CP936", 936},
    {"GB18030", 54936},
    {"BIG5", 950},
    {"BIG5HKSCS", 950},
    {"CP950", 950},
    {"EUCKR", 51949},
    {"CP949", 949},
    {"EUCTW", 51950},
});

std::string Normalised(std::string_view name)
{
    std::string result;
    for (char c : name) {
        if (c == '-' || c == '_' || c == ' ')
            continue;
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

} // namespace

unsigned CodePageFromCodeSetName(std::string_view codeSet)
{
    std::string key = Normalised(codeSet);
    for (const CodeSetEntry& entry : kCodeSets) {
        if (entry.name == key)
            return entry.codePage;
    }
    return kUsAscii;
}

} // namespace platform
