// CMappedCsv: the accounts file, a CSV file in the locale's list separator with double-quote quoting.
#pragma once

#include "ex2qln/inputs/MappedFile.h"

#include <string>
#include <string_view>

namespace ex2qln::inputs {

// The three key fields that start every row of the accounts file.
struct AccountKeys {
    std::string account;
    std::string dn;
    std::string mailbox;
};

class CMappedCsv : public CMappedText {
public:
    static constexpr std::size_t kMaximumSeparatorLength = 4;
    // Longest key field (account, dn, mailbox) that is accepted.
    static constexpr std::size_t kMaximumKeyLength = 259;
    // Longest field that is read: the longest CLI command line, so no longer field could be sent.
    static constexpr std::size_t kMaximumFieldLength = 65533;

    // The separator is the locale's list separator.
    CMappedCsv();
    // `separator` (at most 4 bytes; "," when empty or holding a quote or a line end).
    explicit CMappedCsv(std::string_view separator);

    std::string_view Separator() const { return separator_; }

    // Skips one whole field, quotes included, and the separator after it.
    void Advance(std::size_t& position) const override;

    // The field at `position` with the quoting removed and a backslash written before every
    // character of `escapes`. `position` moves past the field and its separator; it stays at a line
    // end, so that reading on at the end of a row gives empty fields. A field that starts with a
    // double quote is quoted up to the next quote that is not doubled; text after it up to the
    // separator still belongs to the field. MAPI_E_CORRUPT_DATA when the quoting is still open at
    // the end of the file (the text up to there is given all the same); MAPI_E_TOO_BIG when the
    // field (without its quoting) is longer than `maximumLength`, of which only that much is given.
    HRESULT ReadField(std::size_t& position, std::string& field, std::string_view escapes = {},
                      std::size_t maximumLength = kMaximumFieldLength) const;

    // ReadField for an account setting, ready to go between double quotes on a CLI command line:
    // converted from the ANSI code page to UTF-8, with the CLI quoted-string escapes. Also
    // MAPI_E_CORRUPT_DATA when the text is not valid in the ANSI code page.
    HRESULT ReadSettingValue(std::size_t& position, std::string& value) const;

    // Skips the rest of the row field by field, then the line ends after it.
    void SkipRow(std::size_t& position) const;

    // Reads account, dn and mailbox. On the header row they must be exactly "account", "dn" and
    // "mailbox"; on a data row none may be empty. Any key longer than kMaximumKeyLength, or with
    // quoting left open, makes the row invalid too. E_FAIL for an invalid row.
    HRESULT ReadAccountKeys(std::size_t& position, bool headerRow, AccountKeys& keys) const;

private:
    class FieldText;

    bool SeparatorAt(std::size_t position) const;
    // The field scanner behind Advance and ReadField; false when the quoting is left open.
    bool ScanField(std::size_t& position, FieldText& text) const;

    std::string separator_;
};

} // namespace ex2qln::inputs
