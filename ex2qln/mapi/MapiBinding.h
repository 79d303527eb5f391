// The run-time binding to the MAPI library: the program never links MAPI; each MAPI function
// it calls is a stub of the same name and signature that finds the library on first use and
// forwards to the function of that name in it.
//
// Use: link `ex2qln_mapi`, include the published headers (<mapix.h>, <mapiutil.h>, ...) and call
// MAPIInitialize, CreateIProp, MAPIAllocateBuffer ... as usual. Objects that MAPI hands out
// (IPropData, IMAPISession, ...) are called directly through their interfaces.
//
// The library is searched for on the first call (and after ClearMapiModule): an already loaded
// "libqlnmapi.so"; then the mail client named by the machine registry's default value of
// HKEY_LOCAL_MACHINE\Software\Clients\Mail, whose subkey gives "DllPathEx" (environment
// references expanded when it is an expandable string) or "DllPath"; then the installation's own
// libqlnmapi.so in ../lib/<multiarch>/ex2qln/ from the program's directory. Without a library
// every bound call fails: functions that return a status give 0x80004005 (MAPI_E_CALL_FAILED), the
// others give zero, false, a null pointer or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ex2qln::mapi {

// The path of Outlook's MAPI library from HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail\Microsoft
// Outlook, "DLLPathEx" or else "DLLPath" (plain strings shorter than PATH_MAX); nullopt otherwise.
std::optional<std::string> OutlookMapiPath();

// Loads the library at `path` and makes it the MAPI module unless one is set already (the one set
// first stays). False when it cannot be loaded.
bool PreloadMapiLibrary(const std::string& path);

// The MAPI module (a dlopen handle), searched for and loaded when none is set; nullptr when no
// library can be found.
void* MapiModule();

// Forgets and unloads the module; the next bound call searches again.
void ClearMapiModule();

// Incremented every time a module is set or cleared; stubs re-bind when it changes.
std::uint32_t MapiModuleGeneration();

} // namespace ex2qln::mapi
