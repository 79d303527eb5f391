// Outlook's options from the registry substitute.
#include "mmconv/message/OutlookOptions.h"

#include <charconv>
#include <string>

#include "mmconv/encoding/Vocabulary.h"
#include "platform/registry/OfficeVersion.h"
#include "platform/registry/Registry.h"

namespace mmconv {
namespace {

std::optional<std::uint32_t> ReadOption(unsigned major, Vocab key, Vocab value)
{
    const std::string path = "Software\\Microsoft\\Office\\" + std::to_string(major) + ".0\\" +
                             std::string(VocabularyWord(key));
    const std::optional<platform::RegistryKey> opened = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, path);
    if (!opened)
        return std::nullopt;
    return opened->ReadDword(VocabularyWord(value));
}

} // namespace

OutlookOptions ReadOutlookOptions()
{
    OutlookOptions options;
    const std::string version = platform::OfficeVersion();
    unsigned major = 0;
    const auto [end, error] = std::from_chars(version.data(), version.data() + version.size(), major);
    if (error != std::errc() || end != version.data() + version.size())
        return options;
    options.majorVersion = major;
    options.plainWrapLen = ReadOption(major, Vocab::PlainWrapLenKey, Vocab::PlainWrapLen);
    options.plainFormatMime = ReadOption(major, Vocab::PlainFormatMimeKey, Vocab::PlainFormatMime);
    options.autodetectCodePageOut = ReadOption(major, Vocab::AutodetectCodePageOutKey, Vocab::AutodetectCodePageOut);
    options.rtfFormat = ReadOption(major, Vocab::RtfFormatKey, Vocab::RtfFormat);
    return options;
}

} // namespace mmconv
