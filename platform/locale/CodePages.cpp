// The code-page table: web charset names as mail clients expect them, the glibc converter names,
// and the codesets that the C library reports for locales.
#include "platform/locale/CodePages.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace platform {
namespace {

constexpr std::array kCodePages = {
    CodePageInfo{437, "ibm437", "IBM437", 1},
    CodePageInfo{737, "ibm737", "CP737", 1},
    CodePageInfo{775, "ibm775", "CP775", 1},
    CodePageInfo{850, "ibm850", "IBM850", 1},
    CodePageInfo{852, "ibm852", "IBM852", 1},
    CodePageInfo{855, "ibm855", "IBM855", 1},
    CodePageInfo{857, "ibm857", "IBM857", 1},
    CodePageInfo{860, "ibm860", "IBM860", 1},
    CodePageInfo{861, "ibm861", "IBM861", 1},
    CodePageInfo{862, "dos-862", "IBM862", 1},
    CodePageInfo{863, "ibm863", "IBM863", 1},
    CodePageInfo{864, "ibm864", "IBM864", 1},
    CodePageInfo{865, "ibm865", "IBM865", 1},
    CodePageInfo{866, "cp866", "IBM866", 1},
    CodePageInfo{869, "ibm869", "IBM869", 1},
    CodePageInfo{874, "windows-874", "CP874", 1},
    CodePageInfo{932, "shift_jis", "CP932", 2},
    CodePageInfo{936, "gb2312", "CP936", 2},
    CodePageInfo{949, "ks_c_5601-1987", "CP949", 2},
    CodePageInfo{950, "big5", "CP950", 2},
    CodePageInfo{1250, "windows-1250", "CP1250", 1},
    CodePageInfo{1251, "windows-1251", "CP1251", 1},
    CodePageInfo{1252, "windows-1252", "CP1252", 1},
    CodePageInfo{1253, "windows-1253", "CP1253", 1},
    CodePageInfo{1254, "windows-1254", "CP1254", 1},
    CodePageInfo{1255, "windows-1255", "CP1255", 1},
    CodePageInfo{1256, "windows-1256", "CP1256", 1},
    CodePageInfo{1257, "windows-1257", "CP1257", 1},
    CodePageInfo{1258, "windows-1258", "CP1258", 1},
    CodePageInfo{1361, "johab", "JOHAB", 2},
    CodePageInfo{10000, "macintosh", "MACINTOSH", 1},
    CodePageInfo{10007, "x-mac-cyrillic", "CP10007", 1},
    CodePageInfo{10029, "x-mac-ce", "MAC-CENTRALEUROPE", 1},
    CodePageInfo{20127, "us-ascii", "ANSI_X3.4-1968", 1},
    CodePageInfo{20866, "koi8-r", "KOI8-R", 1},
    CodePageInfo{20932, "euc-jp", "EUC-JP", 3},
    CodePageInfo{21866, "koi8-ru", "KOI8-U", 1},
    CodePageInfo{28591, "iso-8859-1", "ISO-8859-1", 1},
    CodePageInfo{28592, "iso-8859-2", "ISO-8859-2", 1},
    CodePageInfo{28593, "iso-8859-3", "ISO-8859-3", 1},
    CodePageInfo{28594, "iso-8859-4", "ISO-8859-4", 1},
    CodePageInfo{28595, "iso-8859-5", "ISO-8859-5", 1},
    CodePageInfo{28596, "iso-8859-6", "ISO-8859-6", 1},
    CodePageInfo{28597, "iso-8859-7", "ISO-8859-7", 1},
    CodePageInfo{28598, "iso-8859-8", "ISO-8859-8", 1},
    CodePageInfo{28599, "iso-8859-9", "ISO-8859-9", 1},
    CodePageInfo{28603, "iso-8859-13", "ISO-8859-13", 1},
    CodePageInfo{28605, "iso-8859-15", "ISO-8859-15", 1},
    CodePageInfo{38598, "iso-8859-8-i", "ISO-8859-8", 1},
    CodePageInfo{50220, "iso-2022-jp", "ISO-2022-JP", 5},
    CodePageInfo{50221, "csISO2022JP", "ISO-2022-JP", 5},
    CodePageInfo{50222, "iso-2022-jp", "ISO-2022-JP", 5},
    CodePageInfo{50225, "iso-2022-kr", "ISO-2022-KR", 5},
    CodePageInfo{51932, "euc-jp", "EUC-JP", 3},
    CodePageInfo{51936, "gb2312", "EUC-CN", 2},
    CodePageInfo{51949, "euc-kr", "EUC-KR", 2},
    CodePageInfo{54936, "gb18030", "GB18030", 4},
    CodePageInfo{65000, "utf-7", "UTF-7", 5},
    CodePageInfo{65001, "utf-8", "UTF-8", 4},
};

struct CharsetAlias {
    std::string_view name;
    unsigned codePage;
};

// Names that are not a row's web name, or that several rows share and one code page should win.
// Looked up before the rows.
constexpr std::array kAliases = {
    CharsetAlias{"ascii", 20127},
    CharsetAlias{"ansi_x3.4-1968", 20127},
    CharsetAlias{"us", 20127},
    CharsetAlias{"utf8", 65001},
    CharsetAlias{"latin1", 28591},
    CharsetAlias{"iso_8859-1", 28591},
    CharsetAlias{"iso8859-1", 28591},
    CharsetAlias{"latin2", 28592},
    CharsetAlias{"iso-8859-8-e", 28598},
    CharsetAlias{"koi8-u", 21866},
    CharsetAlias{"cp1251", 1251},
    CharsetAlias{"x-cp1251", 1251},
    CharsetAlias{"cp1252", 1252},
    CharsetAlias{"cp1250", 1250},
    CharsetAlias{"shift-jis", 932},
    CharsetAlias{"sjis", 932},
    CharsetAlias{"x-sjis", 932},
    CharsetAlias{"windows-31j", 932},
    CharsetAlias{"cp932", 932},
    CharsetAlias{"ms_kanji", 932},
    CharsetAlias{"iso-2022-jp", 50220},
    CharsetAlias{"euc-jp", 51932},
    CharsetAlias{"x-euc-jp", 51932},
    CharsetAlias{"eucjp", 51932},
    CharsetAlias{"gb2312", 936},
    CharsetAlias{"gbk", 936},
    CharsetAlias{"cp936", 936},
    CharsetAlias{"x-gbk", 936},
    CharsetAlias{"euc-cn", 51936},
    CharsetAlias{"euccn", 51936},
    CharsetAlias{"big5-hkscs", 950},
    CharsetAlias{"cp950", 950},
    CharsetAlias{"x-x-big5", 950},
    CharsetAlias{"cp949", 949},
    CharsetAlias{"uhc", 949},
    CharsetAlias{"ks_c_5601", 949},
    CharsetAlias{"ks_c_5601-1989", 949},
    CharsetAlias{"euckr", 51949},
    CharsetAlias{"cp866", 866},
    CharsetAlias{"ibm866", 866},
    CharsetAlias{"cp874", 874},
    CharsetAlias{"tis-620", 874},
    CharsetAlias{"cp437", 437},
    CharsetAlias{"cp850", 850},
    CharsetAlias{"cp852", 852},
    CharsetAlias{"mac", 10000},
    CharsetAlias{"gb18030", 54936},
};

bool EqualIgnoringCase(std::string_view left, std::string_view right)
{
    return left.size() == right.size()
        && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a))
                   == std::tolower(static_cast<unsigned char>(b));
           });
}

// The codesets that the C library reports for locales, with the Windows code page a locale of that
// codeset has as its ANSI code page.
struct CodeSetEntry {
    std::string_view name;  // upper case, without "-", "_" and blanks
    unsigned codePage;
};

constexpr std::array kCodeSets = std::to_array<CodeSetEntry>({
    {"UTF8", 65001},
    {"ANSIX3.41968", kCodePageUsAscii},
    {"ASCII", kCodePageUsAscii},
    {"USASCII", kCodePageUsAscii},
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

const CodePageInfo* FindCodePage(unsigned codePage)
{
    const auto row = std::find_if(kCodePages.begin(), kCodePages.end(),
        [codePage](const CodePageInfo& info) { return info.codePage == codePage; });
    return row == kCodePages.end() ? nullptr : &*row;
}

std::optional<unsigned> CodePageFromCharset(std::string_view name)
{
    for (const CharsetAlias& alias : kAliases) {
        if (EqualIgnoringCase(alias.name, name))
            return alias.codePage;
    }
    for (const CodePageInfo& info : kCodePages) {
        if (EqualIgnoringCase(info.webCharset, name) || EqualIgnoringCase(info.iconvName, name))
            return info.codePage;
    }
    return std::nullopt;
}

unsigned CodePageFromCodeSetName(std::string_view codeSet)
{
    std::string key = Normalised(codeSet);
    for (const CodeSetEntry& entry : kCodeSets) {
        if (entry.name == key)
            return entry.codePage;
    }
    return kCodePageUsAscii;
}

std::string IconvNameOfCodePage(unsigned codePage)
{
    if (const CodePageInfo* info = FindCodePage(codePage))
        return std::string(info->iconvName);
    return "CP" + std::to_string(codePage);
}

} // namespace platform
