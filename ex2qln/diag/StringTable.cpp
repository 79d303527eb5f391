// The program's own numbered texts: socket and TLS errors, IMAP client errors.
#include "ex2qln/diag/StringTable.h"

#include <array>

namespace ex2qln::diag {

namespace {

struct NumberedText {
    unsigned number;
    std::string_view text;
};

constexpr std::array kTexts = std::to_array<NumberedText>({
    // Socket and TLS layer.
    {10000, "Insufficient memory"},
    {10001, "Error while sending data through socket [%#x]"},
    {10016, "Error while receiving data through socket [%#x]"},
    {10018, "Host not found: %s [%#x]"},
    {10020, "Unable to connect to host: %s:%ld [%#x]"},
    {10021, "Failed to load the security.dll library [%#x]"},
    {10022, "Security interface wasn't found [%#x]"},
    {10023, "Acquiring credentials failed [%#x]"},
    {10024, "Unable to send SSL/TLS negotiation data."},
    {10025, "Security context negotiations failed [%#x]"},
    {10026, "Socket error. No data to read [%#x]"},
    {10027, "SSL/TLS decryption failed: the server has closed the connection [%#x]"},
    {10028, "SSL/TLS decryption failed: data block sequence is incorrect [%#x]"},
    {10029, "Failed to encrypt message [%#x]"},
    // Our own: OpenSSL checks the server's certificate, and the user needs to know how to proceed.
    {10030, "Server certificate verification failed: %s. Trust a certificate file with --tls-ca=<file>, "
            "or turn the check off with --tls-no-verify [%#x]"},
    // IMAP client.
    {10031, "Server has sent invalid atom special '%s'."},
    {10032, "Server has sent invalid atom '%s' when only NIL expected."},
    {10033, "Server has sent bogus flags '%s'."},
    {10035, "Server has sent invalid reply '%s'."},
    {10037, "Server has sent empty folder name."},
    {10046, "Server Alert:\n%s"},
    {10048, "You must be online to perform this operation."},
});

} // namespace

std::string_view BuiltInText(unsigned number)
{
    for (const NumberedText& entry : kTexts) {
        if (entry.number == number)
            return entry.text;
    }
    return {};
}

} // namespace ex2qln::diag
