// CSV fields read in place from the mapped accounts file.
#include "ex2qln/inputs/MappedCsv.h"

#include "ex2qln/cli/CliQuoting.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "platform/locale/Locale.h"

#include <mapicode.h>

namespace ex2qln::inputs {
namespace {

constexpr unsigned kUtf8CodePage = 65001;

std::string UsableSeparator(std::string_view separator)
{
    if (separator.empty() || separator.find_first_of("\"\r\n") != std::string_view::npos)
        return ",";
    return std::string(separator.substr(0, CMappedCsv::kMaximumSeparatorLength));
}

void AppendEscaped(std::string& field, char character, std::string_view escapes)
{
    if (escapes.find(character) != std::string_view::npos)
        field += '\\';
    field += character;
}

} // namespace

CMappedCsv::CMappedCsv() : CMappedCsv(platform::ListSeparator()) {}

CMappedCsv::CMappedCsv(std::string_view separator) : separator_(UsableSeparator(separator)) {}

bool CMappedCsv::SeparatorAt(std::size_t position) const
{
    const std::span<const char> bytes = Bytes();
    if (position > bytes.size() || bytes.size() - position < separator_.size())
        return false;
    return std::string_view(bytes.data() + position, separator_.size()) == separator_;
}

bool CMappedCsv::ScanField(std::size_t& position, std::string* field, std::string_view escapes) const
{
    const std::span<const char> bytes = Bytes();
    bool closed = true;
    if (!AtEnd(position) && bytes[position] == '"') {
        closed = false;
        ++position;
        while (!AtEnd(position)) {
            const char character = bytes[position++];
            if (character != '"') {
                if (field != nullptr)
                    AppendEscaped(*field, character, escapes);
                continue;
            }
            if (AtEnd(position) || bytes[position] != '"') {
                closed = true;
                break;
            }
            ++position;
            if (field != nullptr)
                AppendEscaped(*field, '"', escapes);
        }
    }
    while (!AtLineEnd(position) && !SeparatorAt(position)) {
        if (field != nullptr)
            AppendEscaped(*field, bytes[position], escapes);
        ++position;
    }
    if (SeparatorAt(position))
        position += separator_.size();
    return closed;
}

void CMappedCsv::Advance(std::size_t& position) const { ScanField(position, nullptr, {}); }

HRESULT CMappedCsv::ReadField(std::size_t& position, std::string& field, std::string_view escapes) const
{
    field.clear();
    return ScanField(position, &field, escapes) ? S_OK : MAPI_E_CORRUPT_DATA;
}

HRESULT CMappedCsv::ReadSettingValue(std::size_t& position, std::string& value) const
{
    value.clear();
    std::string raw;
    HRESULT status = ReadField(position, raw);
    if (FAILED(status))
        return status;
    std::string utf8;
    bool lossy = false;
    status = mmconv::ConvertCodePage(raw, platform::AnsiCodePage(), kUtf8CodePage, utf8, &lossy);
    if (FAILED(status))
        return status;
    if (lossy)
        return MAPI_E_CORRUPT_DATA;
    cli::AppendCliQuoted(value, utf8);
    return S_OK;
}

void CMappedCsv::SkipRow(std::size_t& position) const
{
    while (!AtLineEnd(position))
        Advance(position);
    SkipLineEnds(position);
}

HRESULT CMappedCsv::ReadAccountKeys(std::size_t& position, bool headerRow, AccountKeys& keys) const
{
    bool valid = SUCCEEDED(ReadField(position, keys.account));
    valid = SUCCEEDED(ReadField(position, keys.dn)) && valid;
    valid = SUCCEEDED(ReadField(position, keys.mailbox)) && valid;
    if (!valid)
        return E_FAIL;
    for (const std::string* key : {&keys.account, &keys.dn, &keys.mailbox}) {
        if (key->size() > kMaximumKeyLength)
            return E_FAIL;
    }
    if (headerRow)
        return keys.account == "account" && keys.dn == "dn" && keys.mailbox == "mailbox" ? S_OK : E_FAIL;
    return keys.account.empty() || keys.dn.empty() || keys.mailbox.empty() ? E_FAIL : S_OK;
}

} // namespace ex2qln::inputs
