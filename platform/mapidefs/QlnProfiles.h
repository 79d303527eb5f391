// The profiles of this MAPI runtime: the message services it knows and the properties of its
// organisation source, for programs that create profiles (qlnprofile) and for tests.
#pragma once

#include "mapidefs.h"

// The message service that serves an organisation file, and the server connector's service,
// whose section the runtime only keeps for the connector.
#define QLN_SERVICE_ORGANISATION "QLNORGSRC"
#define QLN_SERVICE_CONNECTOR "QLNGTCON"

// The profile section of the organisation source service (also its PR_SERVICE_UID).
inline constexpr MAPIUID kQlnOrganisationSection = {
    {0x4F, 0x52, 0x47, 0x53, 0x52, 0x43, 0x11, 0xEE, 0x9C, 0x2B, 0x00, 0x15, 0x5D, 0x7A, 0x31, 0x01}};
// The profile section of the server connector service (also its PR_SERVICE_UID).
inline constexpr MAPIUID kQlnConnectorSection = {
    {0x71, 0x64, 0x42, 0x63, 0xCC, 0x77, 0x4F, 0xFF, 0x9B, 0xBD, 0xB4, 0x20, 0x22, 0xC9, 0xD8, 0xEC}};

// In the organisation source's section: the path of the organisation file, and the mailbox the
// session logs on to (its account, Exchange DN or SMTP address; without it the first mailbox of
// the file).
#define PR_QLN_ORGANISATION_PATH PROP_TAG(PT_TSTRING, 0x6690)
#define PR_QLN_ORGANISATION_PATH_A PROP_TAG(PT_STRING8, 0x6690)
#define PR_QLN_ORGANISATION_PATH_W PROP_TAG(PT_UNICODE, 0x6690)
#define PR_QLN_MAILBOX PROP_TAG(PT_TSTRING, 0x6691)
#define PR_QLN_MAILBOX_A PROP_TAG(PT_STRING8, 0x6691)
#define PR_QLN_MAILBOX_W PROP_TAG(PT_UNICODE, 0x6691)

// The column of IProfAdmin::GetProfileTable that marks the default profile.
#ifndef PR_DEFAULT_PROFILE
#define PR_DEFAULT_PROFILE PROP_TAG(PT_BOOLEAN, 0x3D04)
#endif
