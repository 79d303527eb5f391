// The name tables: published property tag names, type names, property sets and named properties.
#include "platform/orgsource/PropertyNames.h"

#include "platform/orgsource/ValueDecoding.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace platform::orgsource {
namespace {

// Sorted by name; string properties with their PT_UNICODE tag.
constexpr TagName kTagNames[] = {
    {"PR_AB_PROVIDER_ID", 0x36150102},
    {"PR_ACCESS", 0x0FF40003},
    {"PR_ACCESS_LEVEL", 0x0FF70003},
    {"PR_ACCOUNT", 0x3A00001F},
    {"PR_ADDRTYPE", 0x3002001F},
    {"PR_ASSISTANT", 0x3A30001F},
    {"PR_ASSISTANT_TELEPHONE_NUMBER", 0x3A2E001F},
    {"PR_ASSOC_CONTENT_COUNT", 0x36170003},
    {"PR_ATTACHMENT_CONTACTPHOTO", 0x7FFF000B},
    {"PR_ATTACHMENT_FLAGS", 0x7FFD0003},
    {"PR_ATTACHMENT_HIDDEN", 0x7FFE000B},
    {"PR_ATTACH_ADDITIONAL_INFO", 0x370F0102},
    {"PR_ATTACH_CONTENT_ID", 0x3712001F},
    {"PR_ATTACH_CONTENT_LOCATION", 0x3713001F},
    {"PR_ATTACH_DATA_BIN", 0x37010102},
    {"PR_ATTACH_DATA_OBJ", 0x3701000D},
    {"PR_ATTACH_ENCODING", 0x37020102},
    {"PR_ATTACH_EXTENSION", 0x3703001F},
    {"PR_ATTACH_FILENAME", 0x3704001F},
    {"PR_ATTACH_FLAGS", 0x37140003},
    {"PR_ATTACH_LONG_FILENAME", 0x3707001F},
    {"PR_ATTACH_LONG_PATHNAME", 0x370D001F},
    {"PR_ATTACH_METHOD", 0x37050003},
    {"PR_ATTACH_MIME_TAG", 0x370E001F},
    {"PR_ATTACH_NUM", 0x0E210003},
    {"PR_ATTACH_PATHNAME", 0x3708001F},
    {"PR_ATTACH_PAYLOAD_CLASS", 0x371A001F},
    {"PR_ATTACH_PAYLOAD_PROV_GUID_STR", 0x3719001F},
    {"PR_ATTACH_RENDERING", 0x37090102},
    {"PR_ATTACH_SIZE", 0x0E200003},
    {"PR_ATTACH_TAG", 0x370A0102},
    {"PR_BIRTHDAY", 0x3A420040},
    {"PR_BODY", 0x1000001F},
    {"PR_BODY_HTML", 0x1013001F},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", 0x3A1B001F},
    {"PR_BUSINESS_ADDRESS_CITY", 0x3A27001F},
    {"PR_BUSINESS_ADDRESS_COUNTRY", 0x3A26001F},
    {"PR_BUSINESS_ADDRESS_POSTAL_CODE", 0x3A2A001F},
    {"PR_BUSINESS_ADDRESS_POST_OFFICE_BOX", 0x3A2B001F},
    {"PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE", 0x3A28001F},
    {"PR_BUSINESS_ADDRESS_STREET", 0x3A29001F},
    {"PR_BUSINESS_FAX_NUMBER", 0x3A24001F},
    {"PR_BUSINESS_HOME_PAGE", 0x3A51001F},
    {"PR_BUSINESS_TELEPHONE_NUMBER", 0x3A08001F},
    {"PR_CALLBACK_TELEPHONE_NUMBER", 0x3A02001F},
    {"PR_CAR_TELEPHONE_NUMBER", 0x3A1E001F},
    {"PR_CHILDRENS_NAMES", 0x3A58101F},
    {"PR_CLIENT_SUBMIT_TIME", 0x00390040},
    {"PR_COMMENT", 0x3004001F},
    {"PR_COMPANY_MAIN_PHONE_NUMBER", 0x3A57001F},
    {"PR_COMPANY_NAME", 0x3A16001F},
    {"PR_COMPUTER_NETWORK_NAME", 0x3A49001F},
    {"PR_CONTAINER_CLASS", 0x3613001F},
    {"PR_CONTAINER_FLAGS", 0x36000003},
    {"PR_CONTENT_COUNT", 0x36020003},
    {"PR_CONTENT_UNREAD", 0x36030003},
    {"PR_CONVERSATION_INDEX", 0x00710102},
    {"PR_CONVERSATION_TOPIC", 0x0070001F},
    {"PR_COUNTRY", 0x3A26001F},
    {"PR_CREATION_TIME", 0x30070040},
    {"PR_CREATOR_ENTRYID", 0x3FF90102},
    {"PR_CREATOR_NAME", 0x3FF8001F},
    {"PR_CUSTOMER_ID", 0x3A4A001F},
    {"PR_DEFERRED_DELIVERY_TIME", 0x000F0040},
    {"PR_DEPARTMENT_NAME", 0x3A18001F},
    {"PR_DEPTH", 0x30050003},
    {"PR_DISCARD_REASON", 0x00110003},
    {"PR_DISPLAY_BCC", 0x0E02001F},
    {"PR_DISPLAY_CC", 0x0E03001F},
    {"PR_DISPLAY_NAME", 0x3001001F},
    {"PR_DISPLAY_NAME_PREFIX", 0x3A45001F},
    {"PR_DISPLAY_TO", 0x0E04001F},
    {"PR_DISPLAY_TYPE", 0x39000003},
    {"PR_DISPLAY_TYPE_EX", 0x39050003},
    {"PR_EMAIL_ADDRESS", 0x3003001F},
    {"PR_EMS_AB_HOME_MDB", 0x8006001F},
    {"PR_EMS_AB_HOME_MTA", 0x8007001F},
    {"PR_EMS_AB_PROXY_ADDRESSES", 0x800F101F},
    {"PR_END_DATE", 0x00610040},
    {"PR_ENTRYID", 0x0FFF0102},
    {"PR_EXCEPTION_ENDTIME", 0x7FFC0040},
    {"PR_EXCEPTION_STARTTIME", 0x7FFB0040},
    {"PR_EXPIRY_TIME", 0x00150040},
    {"PR_FLAG_COMPLETE_TIME", 0x10910040},
    {"PR_FLAG_STATUS", 0x10900003},
    {"PR_FOLDER_TYPE", 0x36010003},
    {"PR_FOLLOWUP_ICON", 0x10950003},
    {"PR_FTP_SITE", 0x3A4C001F},
    {"PR_GENDER", 0x3A4D0002},
    {"PR_GENERATION", 0x3A05001F},
    {"PR_GIVEN_NAME", 0x3A06001F},
    {"PR_GOVERNMENT_ID_NUMBER", 0x3A07001F},
    {"PR_HASATTACH", 0x0E1B000B},
    {"PR_HOBBIES", 0x3A43001F},
    {"PR_HOME2_TELEPHONE_NUMBER", 0x3A2F001F},
    {"PR_HOME_ADDRESS_CITY", 0x3A59001F},
    {"PR_HOME_ADDRESS_COUNTRY", 0x3A5A001F},
    {"PR_HOME_ADDRESS_POSTAL_CODE", 0x3A5B001F},
    {"PR_HOME_ADDRESS_POST_OFFICE_BOX", 0x3A5E001F},
    {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", 0x3A5C001F},
    {"PR_HOME_ADDRESS_STREET", 0x3A5D001F},
    {"PR_HOME_FAX_NUMBER", 0x3A25001F},
    {"PR_HOME_TELEPHONE_NUMBER", 0x3A09001F},
    {"PR_HTML", 0x10130102},
    {"PR_ICON_INDEX", 0x10800003},
    {"PR_IMPORTANCE", 0x00170003},
    {"PR_INETMAIL_OVERRIDE_FORMAT", 0x59020003},
    {"PR_INITIALS", 0x3A0A001F},
    {"PR_INSTANCE_KEY", 0x0FF60102},
    {"PR_INTERNET_CPID", 0x3FDE0003},
    {"PR_INTERNET_MESSAGE_ID", 0x1035001F},
    {"PR_INTERNET_REFERENCES", 0x1039001F},
    {"PR_IN_REPLY_TO_ID", 0x1042001F},
    {"PR_IPM_APPOINTMENT_ENTRYID", 0x36D00102},
    {"PR_IPM_CONTACT_ENTRYID", 0x36D10102},
    {"PR_IPM_DRAFTS_ENTRYID", 0x36D70102},
    {"PR_IPM_JOURNAL_ENTRYID", 0x36D20102},
    {"PR_IPM_NOTE_ENTRYID", 0x36D30102},
    {"PR_IPM_OUTBOX_ENTRYID", 0x35E20102},
    {"PR_IPM_SENTMAIL_ENTRYID", 0x35E40102},
    {"PR_IPM_SUBTREE_ENTRYID", 0x35E00102},
    {"PR_IPM_TASK_ENTRYID", 0x36D40102},
    {"PR_IPM_WASTEBASKET_ENTRYID", 0x35E30102},
    {"PR_ISDN_NUMBER", 0x3A2D001F},
    {"PR_KEYWORD", 0x3A0B001F},
    {"PR_LANGUAGE", 0x3A0C001F},
    {"PR_LAST_MODIFICATION_TIME", 0x30080040},
    {"PR_LAST_MODIFIER_ENTRYID", 0x3FFB0102},
    {"PR_LAST_MODIFIER_NAME", 0x3FFA001F},
    {"PR_LOCALITY", 0x3A27001F},
    {"PR_LOCATION", 0x3A0D001F},
    {"PR_LONGTERM_ENTRYID_FROM_TABLE", 0x66700102},
    {"PR_MAILBOX_OWNER_ENTRYID", 0x661B0102},
    {"PR_MAILBOX_OWNER_NAME", 0x661C001F},
    {"PR_MANAGER_NAME", 0x3A4E001F},
    {"PR_MDB_PROVIDER", 0x34140102},
    {"PR_MESSAGE_CLASS", 0x001A001F},
    {"PR_MESSAGE_CODEPAGE", 0x3FFD0003},
    {"PR_MESSAGE_DELIVERY_TIME", 0x0E060040},
    {"PR_MESSAGE_FLAGS", 0x0E070003},
    {"PR_MESSAGE_LOCALE_ID", 0x3FF10003},
    {"PR_MESSAGE_SIZE", 0x0E080003},
    {"PR_MHS_COMMON_NAME", 0x3A0F001F},
    {"PR_MIDDLE_NAME", 0x3A44001F},
    {"PR_MOBILE_TELEPHONE_NUMBER", 0x3A1C001F},
    {"PR_MSG_EDITOR_FORMAT", 0x59090003},
    {"PR_NATIVE_BODY_INFO", 0x10160003},
    {"PR_NDR_DIAG_CODE", 0x0C050003},
    {"PR_NDR_REASON_CODE", 0x0C040003},
    {"PR_NICKNAME", 0x3A4F001F},
    {"PR_NON_RECEIPT_REASON", 0x003E0003},
    {"PR_NORMALIZED_SUBJECT", 0x0E1D001F},
    {"PR_OBJECT_TYPE", 0x0FFE0003},
    {"PR_OFFICE_LOCATION", 0x3A19001F},
    {"PR_ORGANIZATIONAL_ID_NUMBER", 0x3A10001F},
    {"PR_ORIGINAL_AUTHOR_ADDRTYPE", 0x0079001F},
    {"PR_ORIGINAL_AUTHOR_EMAIL_ADDRESS", 0x007A001F},
    {"PR_ORIGINAL_AUTHOR_ENTRYID", 0x004C0102},
    {"PR_ORIGINAL_AUTHOR_NAME", 0x004D001F},
    {"PR_ORIGINAL_AUTHOR_SEARCH_KEY", 0x00560102},
    {"PR_ORIGINAL_DISPLAY_CC", 0x0073001F},
    {"PR_ORIGINAL_DISPLAY_TO", 0x0074001F},
    {"PR_ORIGINAL_ENTRYID", 0x3A120102},
    {"PR_ORIGINAL_MESSAGE_CLASS", 0x004B001F},
    {"PR_ORIGINAL_SENDER_ADDRTYPE", 0x0066001F},
    {"PR_ORIGINAL_SENDER_EMAIL_ADDRESS", 0x0067001F},
    {"PR_ORIGINAL_SENDER_ENTRYID", 0x005B0102},
    {"PR_ORIGINAL_SENDER_NAME", 0x005A001F},
    {"PR_ORIGINAL_SENDER_SEARCH_KEY", 0x005C0102},
    {"PR_ORIGINAL_SENT_REPRESENTING_ADDRTYPE", 0x0068001F},
    {"PR_ORIGINAL_SENT_REPRESENTING_EMAIL_ADDRESS", 0x0069001F},
    {"PR_ORIGINAL_SENT_REPRESENTING_ENTRYID", 0x005E0102},
    {"PR_ORIGINAL_SENT_REPRESENTING_NAME", 0x005D001F},
    {"PR_ORIGINAL_SENT_REPRESENTING_SEARCH_KEY", 0x005F0102},
    {"PR_ORIGINAL_SUBJECT", 0x0049001F},
    {"PR_ORIGINAL_SUBMIT_TIME", 0x004E0040},
    {"PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED", 0x0023000B},
    {"PR_OTHER_ADDRESS_CITY", 0x3A5F001F},
    {"PR_OTHER_ADDRESS_COUNTRY", 0x3A60001F},
    {"PR_OTHER_ADDRESS_POSTAL_CODE", 0x3A61001F},
    {"PR_OTHER_ADDRESS_POST_OFFICE_BOX", 0x3A64001F},
    {"PR_OTHER_ADDRESS_STATE_OR_PROVINCE", 0x3A62001F},
    {"PR_OTHER_ADDRESS_STREET", 0x3A63001F},
    {"PR_OTHER_TELEPHONE_NUMBER", 0x3A1F001F},
    {"PR_OWNER_APPT_ID", 0x00620003},
    {"PR_PAGER_TELEPHONE_NUMBER", 0x3A21001F},
    {"PR_PARENT_ENTRYID", 0x0E090102},
    {"PR_PARENT_KEY", 0x00250102},
    {"PR_PERSONAL_HOME_PAGE", 0x3A50001F},
    {"PR_POSTAL_ADDRESS", 0x3A15001F},
    {"PR_POSTAL_CODE", 0x3A2A001F},
    {"PR_POST_OFFICE_BOX", 0x3A2B001F},
    {"PR_PREFERRED_BY_NAME", 0x3A47001F},
    {"PR_PRIMARY_FAX_NUMBER", 0x3A23001F},
    {"PR_PRIMARY_TELEPHONE_NUMBER", 0x3A1A001F},
    {"PR_PRIORITY", 0x00260003},
    {"PR_PROFESSION", 0x3A46001F},
    {"PR_RADIO_TELEPHONE_NUMBER", 0x3A1D001F},
    {"PR_RCVD_REPRESENTING_ADDRTYPE", 0x0077001F},
    {"PR_RCVD_REPRESENTING_EMAIL_ADDRESS", 0x0078001F},
    {"PR_RCVD_REPRESENTING_ENTRYID", 0x00430102},
    {"PR_RCVD_REPRESENTING_NAME", 0x0044001F},
    {"PR_RCVD_REPRESENTING_SEARCH_KEY", 0x00520102},
    {"PR_READ_RECEIPT_ENTRYID", 0x00460102},
    {"PR_READ_RECEIPT_REQUESTED", 0x0029000B},
    {"PR_READ_RECEIPT_SEARCH_KEY", 0x00530102},
    {"PR_RECEIPT_TIME", 0x002A0040},
    {"PR_RECEIVED_BY_ADDRTYPE", 0x0075001F},
    {"PR_RECEIVED_BY_EMAIL_ADDRESS", 0x0076001F},
    {"PR_RECEIVED_BY_ENTRYID", 0x003F0102},
    {"PR_RECEIVED_BY_NAME", 0x0040001F},
    {"PR_RECEIVED_BY_SEARCH_KEY", 0x00510102},
    {"PR_RECIPIENT_DISPLAY_NAME", 0x5FF6001F},
    {"PR_RECIPIENT_ENTRYID", 0x5FF70102},
    {"PR_RECIPIENT_FLAGS", 0x5FFD0003},
    {"PR_RECIPIENT_TRACK_STATUS", 0x5FFF0003},
    {"PR_RECIPIENT_TYPE", 0x0C150003},
    {"PR_RECORD_KEY", 0x0FF90102},
    {"PR_RENDERING_POSITION", 0x370B0003},
    {"PR_REPLY_RECIPIENT_ENTRIES", 0x004F0102},
    {"PR_REPLY_RECIPIENT_NAMES", 0x0050001F},
    {"PR_REPLY_REQUESTED", 0x0C17000B},
    {"PR_REPLY_TIME", 0x00300040},
    {"PR_REPORT_DISPOSITION", 0x0080001F},
    {"PR_REPORT_DISPOSITION_MODE", 0x0081001F},
    {"PR_REPORT_ENTRYID", 0x00450102},
    {"PR_REPORT_NAME", 0x003A001F},
    {"PR_REPORT_SEARCH_KEY", 0x00540102},
    {"PR_REPORT_TAG", 0x00310102},
    {"PR_REPORT_TEXT", 0x1001001F},
    {"PR_REPORT_TIME", 0x00320040},
    {"PR_RESPONSE_REQUESTED", 0x0063000B},
    {"PR_RESPONSIBILITY", 0x0E0F000B},
    {"PR_ROWID", 0x30000003},
    {"PR_RTF_COMPRESSED", 0x10090102},
    {"PR_RTF_IN_SYNC", 0x0E1F000B},
    {"PR_SEARCH_KEY", 0x300B0102},
    {"PR_SENDER_ADDRTYPE", 0x0C1E001F},
    {"PR_SENDER_EMAIL_ADDRESS", 0x0C1F001F},
    {"PR_SENDER_ENTRYID", 0x0C190102},
    {"PR_SENDER_NAME", 0x0C1A001F},
    {"PR_SENDER_SEARCH_KEY", 0x0C1D0102},
    {"PR_SENDER_SMTP_ADDRESS", 0x5D01001F},
    {"PR_SEND_RICH_INFO", 0x3A40000B},
    {"PR_SENSITIVITY", 0x00360003},
    {"PR_SENT_REPRESENTING_ADDRTYPE", 0x0064001F},
    {"PR_SENT_REPRESENTING_EMAIL_ADDRESS", 0x0065001F},
    {"PR_SENT_REPRESENTING_ENTRYID", 0x00410102},
    {"PR_SENT_REPRESENTING_NAME", 0x0042001F},
    {"PR_SENT_REPRESENTING_SEARCH_KEY", 0x003B0102},
    {"PR_SENT_REPRESENTING_SMTP_ADDRESS", 0x5D02001F},
    {"PR_SMTP_ADDRESS", 0x39FE001F},
    {"PR_SPOUSE_NAME", 0x3A48001F},
    {"PR_START_DATE", 0x00600040},
    {"PR_STATE_OR_PROVINCE", 0x3A28001F},
    {"PR_STORE_ENTRYID", 0x0FFB0102},
    {"PR_STORE_RECORD_KEY", 0x0FFA0102},
    {"PR_STORE_SUPPORT_MASK", 0x340D0003},
    {"PR_STREET_ADDRESS", 0x3A29001F},
    {"PR_SUBFOLDERS", 0x360A000B},
    {"PR_SUBJECT", 0x0037001F},
    {"PR_SUBJECT_PREFIX", 0x003D001F},
    {"PR_SUPPLEMENTARY_INFO", 0x0C1B001F},
    {"PR_SURNAME", 0x3A11001F},
    {"PR_TELEX_NUMBER", 0x3A2C001F},
    {"PR_TITLE", 0x3A17001F},
    {"PR_TODO_ITEM_FLAGS", 0x0E2B0003},
    {"PR_TRANSMITABLE_DISPLAY_NAME", 0x3A20001F},
    {"PR_TRANSPORT_MESSAGE_HEADERS", 0x007D001F},
    {"PR_TTYTDD_PHONE_NUMBER", 0x3A4B001F},
    {"PR_USER_CERTIFICATE", 0x3A220102},
    {"PR_USER_X509_CERTIFICATE", 0x3A701102},
    {"PR_WEDDING_ANNIVERSARY", 0x3A410040},
};

struct TypeNameEntry {
    std::string_view name;
    std::uint16_t type;
};

// The first name of a type is the one TypeName gives back.
constexpr TypeNameEntry kTypeNames[] = {
    {"PT_NULL", 0x0001},      {"PT_I2", 0x0002},       {"PT_SHORT", 0x0002},    {"PT_LONG", 0x0003},
    {"PT_I4", 0x0003},        {"PT_FLOAT", 0x0004},    {"PT_R4", 0x0004},       {"PT_DOUBLE", 0x0005},
    {"PT_R8", 0x0005},        {"PT_CURRENCY", 0x0006}, {"PT_APPTIME", 0x0007},  {"PT_ERROR", 0x000A},
    {"PT_BOOLEAN", 0x000B},   {"PT_I8", 0x0014},       {"PT_LONGLONG", 0x0014}, {"PT_STRING8", 0x001E},
    {"PT_UNICODE", 0x001F},   {"PT_SYSTIME", 0x0040},  {"PT_CLSID", 0x0048},    {"PT_BINARY", 0x0102},
    {"PT_MV_I2", 0x1002},     {"PT_MV_SHORT", 0x1002}, {"PT_MV_LONG", 0x1003},  {"PT_MV_I4", 0x1003},
    {"PT_MV_FLOAT", 0x1004},  {"PT_MV_R4", 0x1004},    {"PT_MV_DOUBLE", 0x1005}, {"PT_MV_R8", 0x1005},
    {"PT_MV_CURRENCY", 0x1006}, {"PT_MV_APPTIME", 0x1007}, {"PT_MV_I8", 0x1014}, {"PT_MV_LONGLONG", 0x1014},
    {"PT_MV_STRING8", 0x101E}, {"PT_MV_UNICODE", 0x101F}, {"PT_MV_SYSTIME", 0x1040}, {"PT_MV_CLSID", 0x1048},
    {"PT_MV_BINARY", 0x1102}, {"PT_OBJECT", 0x000D},
};

constexpr cfb::Guid MakeGuid(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                             std::array<std::uint8_t, 8> data4)
{
    return {static_cast<std::uint8_t>(data1), static_cast<std::uint8_t>(data1 >> 8),
            static_cast<std::uint8_t>(data1 >> 16), static_cast<std::uint8_t>(data1 >> 24),
            static_cast<std::uint8_t>(data2), static_cast<std::uint8_t>(data2 >> 8),
            static_cast<std::uint8_t>(data3), static_cast<std::uint8_t>(data3 >> 8),
            data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]};
}

constexpr std::array<std::uint8_t, 8> kOleTail = {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr PropertySetName kPropertySets[] = {
    {"PS_MAPI", MakeGuid(0x00020328, 0, 0, kOleTail)},
    {"PS_PUBLIC_STRINGS", MakeGuid(0x00020329, 0, 0, kOleTail)},
    {"PS_INTERNET_HEADERS", MakeGuid(0x00020386, 0, 0, kOleTail)},
    {"PSETID_Appointment", MakeGuid(0x00062002, 0, 0, kOleTail)},
    {"PSETID_Task", MakeGuid(0x00062003, 0, 0, kOleTail)},
    {"PSETID_Address", MakeGuid(0x00062004, 0, 0, kOleTail)},
    {"PSETID_Common", MakeGuid(0x00062008, 0, 0, kOleTail)},
    {"PSETID_Log", MakeGuid(0x0006200A, 0, 0, kOleTail)},
    {"PSETID_Note", MakeGuid(0x0006200E, 0, 0, kOleTail)},
    {"PSETID_Sharing", MakeGuid(0x00062040, 0, 0, kOleTail)},
    {"PSETID_Meeting", MakeGuid(0x6ED8DA90, 0x450B, 0x101B, {0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05})},
    {"PSETID_Messaging", MakeGuid(0x41F28F13, 0x83F4, 0x4114, {0xA5, 0x84, 0xEE, 0xDB, 0x5A, 0x6B, 0x0B, 0xFF})},
    {"PSETID_Attachment", MakeGuid(0x96357F7F, 0x59E1, 0x47D0, {0x99, 0xA7, 0x46, 0x51, 0x5C, 0x18, 0x3B, 0x54})},
};

constexpr NamedPropertyName kNamedProperties[] = {
    // Common to all items.
    {"PidLidReminderDelta", "PSETID_Common", 0x8501, 0x0003},
    {"PidLidReminderTime", "PSETID_Common", 0x8502, 0x0040},
    {"PidLidReminderSet", "PSETID_Common", 0x8503, 0x000B},
    {"PidLidPrivate", "PSETID_Common", 0x8506, 0x000B},
    {"PidLidSideEffects", "PSETID_Common", 0x8510, 0x0003},
    {"PidLidSmartNoAttach", "PSETID_Common", 0x8514, 0x000B},
    {"PidLidCommonStart", "PSETID_Common", 0x8516, 0x0040},
    {"PidLidCommonEnd", "PSETID_Common", 0x8517, 0x0040},
    {"PidLidTaskMode", "PSETID_Common", 0x8518, 0x0003},
    {"PidLidTaskGlobalId", "PSETID_Common", 0x8519, 0x0102},
    {"PidLidFlagRequest", "PSETID_Common", 0x8530, 0x001F},
    {"PidLidCurrentVersion", "PSETID_Common", 0x8552, 0x0003},
    {"PidLidCurrentVersionName", "PSETID_Common", 0x8554, 0x001F},
    {"PidLidReminderSignalTime", "PSETID_Common", 0x8560, 0x0040},
    {"PidLidContactLinkName", "PSETID_Common", 0x8586, 0x001F},
    // Appointments and meetings.
    {"PidLidAppointmentSequence", "PSETID_Appointment", 0x8201, 0x0003},
    {"PidLidAppointmentLastSequence", "PSETID_Appointment", 0x8203, 0x0003},
    {"PidLidBusyStatus", "PSETID_Appointment", 0x8205, 0x0003},
    {"PidLidLocation", "PSETID_Appointment", 0x8208, 0x001F},
    {"PidLidAppointmentStartWhole", "PSETID_Appointment", 0x820D, 0x0040},
    {"PidLidAppointmentEndWhole", "PSETID_Appointment", 0x820E, 0x0040},
    {"PidLidAppointmentDuration", "PSETID_Appointment", 0x8213, 0x0003},
    {"PidLidAppointmentColor", "PSETID_Appointment", 0x8214, 0x0003},
    {"PidLidAppointmentSubType", "PSETID_Appointment", 0x8215, 0x000B},
    {"PidLidAppointmentRecur", "PSETID_Appointment", 0x8216, 0x0102},
    {"PidLidAppointmentStateFlags", "PSETID_Appointment", 0x8217, 0x0003},
    {"PidLidResponseStatus", "PSETID_Appointment", 0x8218, 0x0003},
    {"PidLidAppointmentReplyTime", "PSETID_Appointment", 0x8220, 0x0040},
    {"PidLidRecurring", "PSETID_Appointment", 0x8223, 0x000B},
    {"PidLidIntendedBusyStatus", "PSETID_Appointment", 0x8224, 0x0003},
    {"PidLidExceptionReplaceTime", "PSETID_Appointment", 0x8228, 0x0040},
    {"PidLidFInvited", "PSETID_Appointment", 0x8229, 0x000B},
    {"PidLidRecurrenceType", "PSETID_Appointment", 0x8231, 0x0003},
    {"PidLidRecurrencePattern", "PSETID_Appointment", 0x8232, 0x001F},
    {"PidLidTimeZoneStruct", "PSETID_Appointment", 0x8233, 0x0102},
    {"PidLidTimeZoneDescription", "PSETID_Appointment", 0x8234, 0x001F},
    {"PidLidClipStart", "PSETID_Appointment", 0x8235, 0x0040},
    {"PidLidClipEnd", "PSETID_Appointment", 0x8236, 0x0040},
    {"PidLidAllAttendeesString", "PSETID_Appointment", 0x8238, 0x001F},
    {"PidLidToAttendeesString", "PSETID_Appointment", 0x823B, 0x001F},
    {"PidLidCcAttendeesString", "PSETID_Appointment", 0x823C, 0x001F},
    {"PidLidAppointmentProposedStartWhole", "PSETID_Appointment", 0x8250, 0x0040},
    {"PidLidAppointmentProposedEndWhole", "PSETID_Appointment", 0x8251, 0x0040},
    {"PidLidAppointmentCounterProposal", "PSETID_Appointment", 0x8257, 0x000B},
    {"PidLidAppointmentNotAllowPropose", "PSETID_Appointment", 0x825A, 0x000B},
    {"PidLidAppointmentTimeZoneDefinitionStartDisplay", "PSETID_Appointment", 0x825E, 0x0102},
    {"PidLidAppointmentTimeZoneDefinitionEndDisplay", "PSETID_Appointment", 0x825F, 0x0102},
    {"PidLidAppointmentTimeZoneDefinitionRecur", "PSETID_Appointment", 0x8260, 0x0102},
    {"PidLidWhere", "PSETID_Meeting", 0x0002, 0x001F},
    {"PidLidGlobalObjectId", "PSETID_Meeting", 0x0003, 0x0102},
    {"PidLidIsRecurring", "PSETID_Meeting", 0x0005, 0x000B},
    {"PidLidIsException", "PSETID_Meeting", 0x000A, 0x000B},
    {"PidLidOwnerCriticalChange", "PSETID_Meeting", 0x001A, 0x0040},
    {"PidLidCleanGlobalObjectId", "PSETID_Meeting", 0x0023, 0x0102},
    {"PidLidAppointmentMessageClass", "PSETID_Meeting", 0x0024, 0x001F},
    {"PidLidMeetingType", "PSETID_Meeting", 0x0026, 0x0003},
    // Tasks.
    {"PidLidTaskStatus", "PSETID_Task", 0x8101, 0x0003},
    {"PidLidPercentComplete", "PSETID_Task", 0x8102, 0x0005},
    {"PidLidTeamTask", "PSETID_Task", 0x8103, 0x000B},
    {"PidLidTaskStartDate", "PSETID_Task", 0x8104, 0x0040},
    {"PidLidTaskDueDate", "PSETID_Task", 0x8105, 0x0040},
    {"PidLidTaskAccepted", "PSETID_Task", 0x8108, 0x000B},
    {"PidLidTaskDateCompleted", "PSETID_Task", 0x810F, 0x0040},
    {"PidLidTaskActualEffort", "PSETID_Task", 0x8110, 0x0003},
    {"PidLidTaskEstimatedEffort", "PSETID_Task", 0x8111, 0x0003},
    {"PidLidTaskVersion", "PSETID_Task", 0x8112, 0x0003},
    {"PidLidTaskState", "PSETID_Task", 0x8113, 0x0003},
    {"PidLidTaskLastUpdate", "PSETID_Task", 0x8115, 0x0040},
    {"PidLidTaskRecurrence", "PSETID_Task", 0x8116, 0x0102},
    {"PidLidTaskHistory", "PSETID_Task", 0x811A, 0x0003},
    {"PidLidTaskComplete", "PSETID_Task", 0x811C, 0x000B},
    {"PidLidTaskOwner", "PSETID_Task", 0x811F, 0x001F},
    {"PidLidTaskLastUser", "PSETID_Task", 0x8122, 0x001F},
    {"PidLidTaskFRecurring", "PSETID_Task", 0x8126, 0x000B},
    {"PidLidTaskOwnership", "PSETID_Task", 0x8129, 0x0003},
    {"PidLidTaskAcceptanceState", "PSETID_Task", 0x812A, 0x0003},
    // Contacts and distribution lists.
    {"PidLidFileUnder", "PSETID_Address", 0x8005, 0x001F},
    {"PidLidFileUnderId", "PSETID_Address", 0x8006, 0x0003},
    {"PidLidHasPicture", "PSETID_Address", 0x8015, 0x000B},
    {"PidLidHomeAddress", "PSETID_Address", 0x801A, 0x001F},
    {"PidLidWorkAddress", "PSETID_Address", 0x801B, 0x001F},
    {"PidLidOtherAddress", "PSETID_Address", 0x801C, 0x001F},
    {"PidLidPostalAddressId", "PSETID_Address", 0x8022, 0x0003},
    {"PidLidAddressBookProviderEmailList", "PSETID_Address", 0x8028, 0x1003},
    {"PidLidAddressBookProviderArrayType", "PSETID_Address", 0x8029, 0x0003},
    {"PidLidHtml", "PSETID_Address", 0x802B, 0x001F},
    {"PidLidYomiFirstName", "PSETID_Address", 0x802C, 0x001F},
    {"PidLidYomiLastName", "PSETID_Address", 0x802D, 0x001F},
    {"PidLidYomiCompanyName", "PSETID_Address", 0x802E, 0x001F},
    {"PidLidWorkAddressStreet", "PSETID_Address", 0x8045, 0x001F},
    {"PidLidWorkAddressCity", "PSETID_Address", 0x8046, 0x001F},
    {"PidLidWorkAddressState", "PSETID_Address", 0x8047, 0x001F},
    {"PidLidWorkAddressPostalCode", "PSETID_Address", 0x8048, 0x001F},
    {"PidLidWorkAddressCountry", "PSETID_Address", 0x8049, 0x001F},
    {"PidLidWorkAddressPostOfficeBox", "PSETID_Address", 0x804A, 0x001F},
    {"PidLidContactUserField1", "PSETID_Address", 0x804F, 0x001F},
    {"PidLidContactUserField2", "PSETID_Address", 0x8050, 0x001F},
    {"PidLidContactUserField3", "PSETID_Address", 0x8051, 0x001F},
    {"PidLidContactUserField4", "PSETID_Address", 0x8052, 0x001F},
    {"PidLidDistributionListName", "PSETID_Address", 0x8053, 0x001F},
    {"PidLidDistributionListOneOffMembers", "PSETID_Address", 0x8054, 0x1102},
    {"PidLidDistributionListMembers", "PSETID_Address", 0x8055, 0x1102},
    {"PidLidInstantMessagingAddress", "PSETID_Address", 0x8062, 0x001F},
    {"PidLidEmail1DisplayName", "PSETID_Address", 0x8080, 0x001F},
    {"PidLidEmail1AddressType", "PSETID_Address", 0x8082, 0x001F},
    {"PidLidEmail1EmailAddress", "PSETID_Address", 0x8083, 0x001F},
    {"PidLidEmail1OriginalDisplayName", "PSETID_Address", 0x8084, 0x001F},
    {"PidLidEmail1OriginalEntryId", "PSETID_Address", 0x8085, 0x0102},
    {"PidLidEmail2DisplayName", "PSETID_Address", 0x8090, 0x001F},
    {"PidLidEmail2AddressType", "PSETID_Address", 0x8092, 0x001F},
    {"PidLidEmail2EmailAddress", "PSETID_Address", 0x8093, 0x001F},
    {"PidLidEmail2OriginalDisplayName", "PSETID_Address", 0x8094, 0x001F},
    {"PidLidEmail2OriginalEntryId", "PSETID_Address", 0x8095, 0x0102},
    {"PidLidEmail3DisplayName", "PSETID_Address", 0x80A0, 0x001F},
    {"PidLidEmail3AddressType", "PSETID_Address", 0x80A2, 0x001F},
    {"PidLidEmail3EmailAddress", "PSETID_Address", 0x80A3, 0x001F},
    {"PidLidEmail3OriginalDisplayName", "PSETID_Address", 0x80A4, 0x001F},
    {"PidLidEmail3OriginalEntryId", "PSETID_Address", 0x80A5, 0x0102},
    {"PidLidFreeBusyLocation", "PSETID_Address", 0x80D8, 0x001F},
    // Sticky notes.
    {"PidLidNoteColor", "PSETID_Note", 0x8B00, 0x0003},
    {"PidLidNoteWidth", "PSETID_Note", 0x8B02, 0x0003},
    {"PidLidNoteHeight", "PSETID_Note", 0x8B03, 0x0003},
    {"PidLidNoteX", "PSETID_Note", 0x8B04, 0x0003},
    {"PidLidNoteY", "PSETID_Note", 0x8B05, 0x0003},
};

// Strips "_W" or "_A" from a string property's name; gives the type the suffix asks for.
std::optional<std::uint32_t> LookUpTag(std::string_view name)
{
    auto found = std::lower_bound(std::begin(kTagNames), std::end(kTagNames), name,
                                  [](const TagName& entry, std::string_view key) { return entry.name < key; });
    if (found == std::end(kTagNames) || found->name != name) {
        return std::nullopt;
    }
    return found->tag;
}

bool IsStringType(std::uint32_t tag)
{
    return (tag & 0x0FFF) == 0x001F;
}

} // namespace

std::span<const TagName> KnownTagNames()
{
    return kTagNames;
}

std::span<const PropertySetName> KnownPropertySets()
{
    return kPropertySets;
}

std::span<const NamedPropertyName> KnownNamedProperties()
{
    return kNamedProperties;
}

std::optional<std::uint32_t> TagFromName(std::string_view name)
{
    if (auto tag = LookUpTag(name)) {
        return tag;
    }
    if (name.size() < 3 || name[name.size() - 2] != '_') {
        return std::nullopt;
    }
    char suffix = name.back();
    if (suffix != 'W' && suffix != 'A') {
        return std::nullopt;
    }
    auto tag = LookUpTag(name.substr(0, name.size() - 2));
    if (!tag || !IsStringType(*tag)) {
        return std::nullopt;
    }
    return suffix == 'W' ? *tag : (*tag & 0xFFFFF000u) | 0x001Eu;
}

std::optional<std::uint16_t> TypeFromName(std::string_view name)
{
    for (const auto& entry : kTypeNames) {
        if (entry.name == name) {
            return entry.type;
        }
    }
    if (name.size() == 6 && name.substr(0, 2) == "0x") {
        auto bytes = DecodeHex(name.substr(2));
        if (bytes && bytes->size() == 2 && name.find(' ') == std::string_view::npos) {
            return static_cast<std::uint16_t>(((*bytes)[0] << 8) | (*bytes)[1]);
        }
    }
    return std::nullopt;
}

std::string TypeName(std::uint16_t type)
{
    for (const auto& entry : kTypeNames) {
        if (entry.type == type) {
            return std::string(entry.name);
        }
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", type);
    return text;
}

std::optional<cfb::Guid> PropertySetFromName(std::string_view name)
{
    for (const auto& entry : kPropertySets) {
        if (entry.name == name) {
            return entry.guid;
        }
    }
    if (name.size() != 38) {
        return std::nullopt;  // only the braced form, so that a set name is never mistaken for a GUID
    }
    return ParseGuid(name);
}

std::optional<NamedPropertyName> NamedPropertyFromName(std::string_view name)
{
    for (const auto& entry : kNamedProperties) {
        if (entry.name == name) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace platform::orgsource
