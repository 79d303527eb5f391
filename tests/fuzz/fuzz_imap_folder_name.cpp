// Fuzzes the folder-name functions on UTF-16 names: a fixed non-empty name is valid, and every
// encoded name is printable ASCII within the length limit.
#include "ex2qln/imap/FolderName.h"
#include "ex2qln/imap/ImapUtf7.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string name(size / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    for (const std::u16string& candidate : {name, [&] {
             std::u16string fixed = name;
             ex2qln::imap::FixFolderName(fixed);
             return fixed;
         }()}) {
        const std::string encoded = ex2qln::imap::EncodeImapName(candidate);
        if (encoded.size() > ex2qln::imap::kMaximumImapNameLength)
            std::abort();
        for (const char c : encoded) {
            if (c < 0x20 || c > 0x7E)
                std::abort();
        }
    }
    std::u16string fixed = name;
    ex2qln::imap::FixFolderName(fixed);
    if (!fixed.empty() && !ex2qln::imap::IsValidFolderName(fixed))
        std::abort();
    return 0;
}
