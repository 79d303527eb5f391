// Making the profile that profileonly created the default one for Outlook and for MAPI.
#pragma once

namespace ex2qln::driver {

// Writes "DefaultProfile" under the current user's Outlook key of the installed Office version and
// under the Windows Messaging Subsystem profiles key. A key that does not exist is skipped.
void MakeDefaultProfile();

} // namespace ex2qln::driver
