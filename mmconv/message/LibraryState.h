// What the library start-up sets for every later conversion: the RTF flag, the code-page services,
// the Outlook options, the mailer value. Conversions before the start-up see the defaults.
#pragma once

#include <string>

#include "mmconv/encoding/MMLang.h"
#include "mmconv/message/OutlookOptions.h"

namespace mmconv {

// Sets the state (reading the locale and the Outlook options) and seeds the boundary generator.
void StartLibrary(bool convertRtf, unsigned seed);
// Back to the defaults.
void StopLibrary();

bool ConvertRtfBodies();
const CMMLang& Lang();
const OutlookOptions& Options();

// "Quillon MAPI Connector" and the program's version.
const std::string& MailerValue();

} // namespace mmconv
