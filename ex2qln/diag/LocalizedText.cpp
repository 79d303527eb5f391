// Numbered and dialog texts from the language file, in the locale's character set.
#include "ex2qln/diag/LocalizedText.h"

#include "ex2qln/diag/StringTable.h"
#include "platform/files/ConfigDirectory.h"
#include "platform/ini/IniFile.h"
#include "platform/locale/IconvConverter.h"
#include "platform/locale/Locale.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace ex2qln::diag {

namespace {

constexpr const char* kLanguageFileName = "qlnconn32.ini";
constexpr std::size_t kMaximumValueBytes = 259;
constexpr std::size_t kLanguageIdBuffer = 10;  // characters, with the terminating zero
constexpr std::uint16_t kDefaultSubLanguage = 0x400;
constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;

std::mutex languageLock;
std::optional<std::uint16_t> chosenLanguage;

std::uint16_t LanguageFromFile(const platform::IniFile* file)
{
    if (!file)
        return 0;
    std::optional<std::string> value = file->ReadString("Language", "LanguageId");
    if (!value)
        return 0;
    std::string digits = value->substr(0, kLanguageIdBuffer - 1);
    return static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

std::uint16_t ChooseLanguage(const platform::IniFile* file)
{
    std::lock_guard guard(languageLock);
    if (chosenLanguage)
        return *chosenLanguage;
    std::uint16_t language = LanguageFromFile(file);
    if (language == 0)
        language = (platform::UserDefaultLanguageId() & kPrimaryLanguageMask) | kDefaultSubLanguage;
    chosenLanguage = language;
    return language;
}

// The value as a fixed buffer would hold it, cut back to a whole UTF-8 character so that a long
// value is shortened instead of becoming unconvertible.
std::string_view CutValue(std::string_view value)
{
    if (value.size() <= kMaximumValueBytes)
        return value;
    std::size_t cut = kMaximumValueBytes;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
        --cut;
    return value.substr(0, cut);
}

// Backslash escapes of the language file: \n, \r, \t, and any other character stands for itself;
// a backslash at the very end stays.
std::string Unescaped(std::string_view text)
{
    std::string result;
    for (std::size_t at = 0; at < text.size(); ++at) {
        char c = text[at];
        if (c != '\\' || at + 1 == text.size()) {
            result += c;
            continue;
        }
        char next = text[++at];
        switch (next) {
        case 'n': result += '\n'; break;
        case 'r': result += '\r'; break;
        case 't': result += '\t'; break;
        default: result += next; break;
        }
    }
    return result;
}

std::size_t CopyOut(std::string_view text, char* output, std::size_t outputSize)
{
    std::size_t length = std::min(text.size(), outputSize - 1);
    if (length > 0)
        std::memcpy(output, text.data(), length);
    output[length] = '\0';
    return length;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string LanguageFilePath()
{
    for (const std::string& directory : {platform::UserConfigDirectory(), platform::MachineConfigDirectory()}) {
        if (directory.empty())
            continue;
        std::string path = directory + kLanguageFileName;
        if (IsRegularFile(path))
            return path;
    }
    return {};
}

std::optional<std::string> ConvertFromUtf8(std::string_view utf8, const char* codeSet)
{
    platform::IconvConverter converter(codeSet, "UTF-8");
    if (!converter.IsOpen())
        return std::nullopt;
    std::string result;
    char* input = const_cast<char*>(utf8.data());
    std::size_t inputLeft = utf8.size();
    char chunk[256];
    while (true) {
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        // A flush call (null input) finishes stateful character sets once the input is used up.
        std::size_t converted = inputLeft > 0 ? iconv(converter.Handle(), &input, &inputLeft, &out, &outLeft)
                                              : iconv(converter.Handle(), nullptr, nullptr, &out, &outLeft);
        int error = errno;
        result.append(chunk, out);
        if (converted == static_cast<std::size_t>(-1)) {
            if (error == E2BIG)
                continue;
            return std::nullopt;
        }
        // A positive count means characters were replaced by approximations: a loss.
        if (converted != 0)
            return std::nullopt;
        if (inputLeft == 0 && out == chunk)
            return result;
    }
}

std::uint16_t TextLanguage() { return ChooseLanguage(nullptr); }

void ResetTextLanguageForTesting()
{
    std::lock_guard guard(languageLock);
    chosenLanguage.reset();
}

std::size_t LookUpText(const char* filePath, const char* baseName, unsigned number, char* output,
                       std::size_t outputSize)
{
    if (!output || outputSize == 0)
        return 0;
    output[0] = '\0';
    std::optional<platform::IniFile> file =
        filePath && *filePath ? platform::IniFile::Load(filePath) : std::nullopt;
    std::uint16_t language = ChooseLanguage(file ? &*file : nullptr);
    if (!file || !baseName)
        return 0;

    char section[300];
    std::snprintf(section, sizeof section, "%s_%04x", baseName, static_cast<unsigned>(language));
    std::optional<std::string> value = file->ReadString(section, std::to_string(number));
    if (!value)
        return 0;
    // Unescaping before the conversion: in a double-byte code page a backslash byte can be the
    // second half of a character, never in UTF-8.
    std::optional<std::string> converted =
        ConvertFromUtf8(Unescaped(CutValue(*value)), platform::AnsiCodeSetName().c_str());
    if (!converted)
        return 0;
    return CopyOut(*converted, output, outputSize);
}

std::size_t LoadErrorText(unsigned number, char* output, std::size_t outputSize)
{
    if (!output || outputSize == 0)
        return 0;
    std::string path = LanguageFilePath();
    if (std::size_t length = LookUpText(path.c_str(), "Strings", number, output, outputSize))
        return length;
    return CopyOut(BuiltInText(number), output, outputSize);
}

std::string ErrorText(unsigned number)
{
    char buffer[1024];
    std::size_t length = LoadErrorText(number, buffer, sizeof buffer);
    return std::string(buffer, length);
}

bool LookUpDialogText(unsigned dialogId, unsigned control, char* output, std::size_t outputSize)
{
    std::string base = "Dialog_" + std::to_string(dialogId);
    return LookUpText(LanguageFilePath().c_str(), base.c_str(), control, output, outputSize) > 0;
}

} // namespace ex2qln::diag
