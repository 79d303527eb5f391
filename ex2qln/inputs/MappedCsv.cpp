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

// The text of a field as it is read: the first `maximumLength` characters kept (escaped), the
// rest only counted, so that a field of any length takes bounded memory.
class CMappedCsv::FieldText {
public:
    FieldText(std::string* field, std::string_view escapes, std::size_t maximumLength)
        : field_(field), escapes_(escapes), maximumLength_(maximumLength)
    {
    }

    void Append(char character)
    {
        if (++length_ <= maximumLength_ && field_ != nullptr)
            AppendEscaped(*field_, character, escapes_);
    }
    bool TooLong() const { return length_ > maximumLength_; }

private:
    std::string* field_;
    std::string_view escapes_;
    std::size_t maximumLength_;
    std::size_t length_ = 0;
};

bool CMappedCsv::ScanField(std::size_t& position, FieldText& text) const
{
    const std::span<const char> bytes = Bytes();
    bool closed = true;
    if (!AtEnd(position) && bytes[position] == '"') {
        closed = false;
        ++position;
        while (!closed && !AtEnd(position)) {
            ScanWhile(position, [&](std::size_t at) {
                if (bytes[at] == '"')
                    return false;
                text.Append(bytes[at]);
                return true;
            });
            if (AtEnd(position))
                break;
            ++position;
            // A doubled quote stands for one; any other ends the quoting.
            closed = AtEnd(position) || bytes[position] != '"';
            if (!closed) {
                ++position;
                text.Append('"');
            }
        }
    }
    ScanWhile(position, [&](std::size_t at) {
        if (IsLineEndCharacter(bytes[at]) || SeparatorAt(at))
            return false;
        text.Append(bytes[at]);
        return true;
    });
    if (SeparatorAt(position))
        position += separator_.size();
    return closed;
}

void CMappedCsv::Advance(std::size_t& position) const
{
    FieldText skipped(nullptr, {}, 0);
    ScanField(position, skipped);
}

HRESULT CMappedCsv::ReadField(std::size_t& position, std::string& field, std::string_view escapes,
                              std::size_t maximumLength) const
{
    field.clear();
    FieldText text(&field, escapes, maximumLength);
    if (!ScanField(position, text))
        return MAPI_E_CORRUPT_DATA;
    return text.TooLong() ? MAPI_E_TOO_BIG : S_OK;
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
    bool valid = SUCCEEDED(ReadField(position, keys.account, {}, kMaximumKeyLength));
    valid = SUCCEEDED(ReadField(position, keys.dn, {}, kMaximumKeyLength)) && valid;
    valid = SUCCEEDED(ReadField(position, keys.mailbox, {}, kMaximumKeyLength)) && valid;
    if (!valid)
        return E_FAIL;
    if (headerRow)
        return keys.account == "account" && keys.dn == "dn" && keys.mailbox == "mailbox" ? S_OK : E_FAIL;
    return keys.account.empty() || keys.dn.empty() || keys.mailbox.empty() ? E_FAIL : S_OK;
}

} // namespace ex2qln::inputs
