// Text rules of LDIF (RFC 2849) and of distinguished names (RFC 4514) for the LDIF export.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::directory {

// Appends an attribute value after its name: ": " and the value when it is a SAFE-STRING, else
// ":: " and its Base64 form. Not safe: a first byte blank, ":" or "<", a last byte blank, any byte
// below 0x20 or above 0x7F.
void AppendLdifValue(std::string& output, std::string_view value);

// A value made safe to stand in a DN: "\" before "," "+" """ "\" "<" ">" ";" "=", before a leading
// blank or "#" and a trailing blank, and "\" with two hexadecimal digits for control bytes.
std::string EscapeDnValue(std::string_view value);

// The attribute type and the value (its escapes undone) of a DN's first attribute; false when the
// DN does not start with "type=value".
bool FirstRdnValue(std::string_view dn, std::string& type, std::string& value);

// The surname a common name implies: the text before its first ",", else the text after its last
// blank, else the whole name; blanks around it are dropped, and an empty result gives the whole name.
std::string DeriveSurname(std::string_view commonName);

// An LDAP attribute description (RFC 4512): a name or numeric OID, then options after ";".
bool IsAttributeDescription(std::string_view name);

} // namespace ex2qln::directory
