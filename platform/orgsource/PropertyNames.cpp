// The name tables: published property tag names, type names, property sets and named properties.
#include "platform/orgsource/PropertyNames.h"

#include "platform/orgsource/ValueDecoding.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include <mapitags.h>

namespace platform::orgsource {
namespace {

// Sorted by name; string properties with their PT_UNICODE tag.
constexpr TagName kTagNames[] = {
    {"PR_AB_PROVIDER_ID", PR_AB_PROVIDER_ID},
    {"PR_ACCESS", PR_ACCESS},
    {"PR_ACCESS_LEVEL", PR_ACCESS_LEVEL},
    {"PR_ACCOUNT", PR_ACCOUNT_W},
    {"PR_ADDRTYPE", PR_ADDRTYPE_W},
    {"PR_ASSISTANT", PR_ASSISTANT_W},
    {"PR_ASSISTANT_TELEPHONE_NUMBER", PR_ASSISTANT_TELEPHONE_NUMBER_W},
    {"PR_ASSOC_CONTENT_COUNT", PR_ASSOC_CONTENT_COUNT},
    {"PR_ATTACHMENT_CONTACTPHOTO", PR_ATTACHMENT_CONTACTPHOTO},
    {"PR_ATTACHMENT_FLAGS", PR_ATTACHMENT_FLAGS},
    {"PR_ATTACHMENT_HIDDEN", PR_ATTACHMENT_HIDDEN},
    {"PR_ATTACH_ADDITIONAL_INFO", PR_ATTACH_ADDITIONAL_INFO},
    {"PR_ATTACH_CONTENT_ID", PR_ATTACH_CONTENT_ID_W},
    {"PR_ATTACH_CONTENT_LOCATION", PR_ATTACH_CONTENT_LOCATION_W},
    {"PR_ATTACH_DATA_BIN", PR_ATTACH_DATA_BIN},
    {"PR_ATTACH_DATA_OBJ", PR_ATTACH_DATA_OBJ},
    {"PR_ATTACH_ENCODING", PR_ATTACH_ENCODING},
    {"PR_ATTACH_EXTENSION", PR_ATTACH_EXTENSION_W},
    {"PR_ATTACH_FILENAME", PR_ATTACH_FILENAME_W},
    {"PR_ATTACH_FLAGS", PR_ATTACH_FLAGS},
    {"PR_ATTACH_LONG_FILENAME", PR_ATTACH_LONG_FILENAME_W},
    {"PR_ATTACH_LONG_PATHNAME", PR_ATTACH_LONG_PATHNAME_W},
    {"PR_ATTACH_METHOD", PR_ATTACH_METHOD},
    {"PR_ATTACH_MIME_TAG", PR_ATTACH_MIME_TAG_W},
    {"PR_ATTACH_NUM", PR_ATTACH_NUM},
    {"PR_ATTACH_PATHNAME", PR_ATTACH_PATHNAME_W},
    {"PR_ATTACH_PAYLOAD_CLASS", PR_ATTACH_PAYLOAD_CLASS_W},
    {"PR_ATTACH_PAYLOAD_PROV_GUID_STR", PR_ATTACH_PAYLOAD_PROV_GUID_STR_W},
    {"PR_ATTACH_RENDERING", PR_ATTACH_RENDERING},
    {"PR_ATTACH_SIZE", PR_ATTACH_SIZE},
    {"PR_ATTACH_TAG", PR_ATTACH_TAG},
    {"PR_BIRTHDAY", PR_BIRTHDAY},
    {"PR_BODY", PR_BODY_W},
    {"PR_BODY_HTML", PR_BODY_HTML_W},
    {"PR_BUSINESS2_TELEPHONE_NUMBER", PR_BUSINESS2_TELEPHONE_NUMBER_W},
    {"PR_BUSINESS_ADDRESS_CITY", PR_BUSINESS_ADDRESS_CITY_W},
    {"PR_BUSINESS_ADDRESS_COUNTRY", PR_BUSINESS_ADDRESS_COUNTRY_W},
    {"PR_BUSINESS_ADDRESS_POSTAL_CODE", PR_BUSINESS_ADDRESS_POSTAL_CODE_W},
    {"PR_BUSINESS_ADDRESS_POST_OFFICE_BOX", PR_BUSINESS_ADDRESS_POST_OFFICE_BOX_W},
    {"PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE", PR_BUSINESS_ADDRESS_STATE_OR_PROVINCE_W},
    {"PR_BUSINESS_ADDRESS_STREET", PR_BUSINESS_ADDRESS_STREET_W},
    {"PR_BUSINESS_FAX_NUMBER", PR_BUSINESS_FAX_NUMBER_W},
    {"PR_BUSINESS_HOME_PAGE", PR_BUSINESS_HOME_PAGE_W},
    {"PR_BUSINESS_TELEPHONE_NUMBER", PR_BUSINESS_TELEPHONE_NUMBER_W},
    {"PR_CALLBACK_TELEPHONE_NUMBER", PR_CALLBACK_TELEPHONE_NUMBER_W},
    {"PR_CAR_TELEPHONE_NUMBER", PR_CAR_TELEPHONE_NUMBER_W},
    {"PR_CHILDRENS_NAMES", PR_CHILDRENS_NAMES_W},
    {"PR_CLIENT_SUBMIT_TIME", PR_CLIENT_SUBMIT_TIME},
    {"PR_COMMENT", PR_COMMENT_W},
    {"PR_COMPANY_MAIN_PHONE_NUMBER", PR_COMPANY_MAIN_PHONE_NUMBER_W},
    {"PR_COMPANY_NAME", PR_COMPANY_NAME_W},
    {"PR_COMPUTER_NETWORK_NAME", PR_COMPUTER_NETWORK_NAME_W},
    {"PR_CONTAINER_CLASS", PR_CONTAINER_CLASS_W},
    {"PR_CONTAINER_FLAGS", PR_CONTAINER_FLAGS},
    {"PR_CONTENT_COUNT", PR_CONTENT_COUNT},
    {"PR_CONTENT_UNREAD", PR_CONTENT_UNREAD},
    {"PR_CONVERSATION_INDEX", PR_CONVERSATION_INDEX},
    {"PR_CONVERSATION_TOPIC", PR_CONVERSATION_TOPIC_W},
    {"PR_COUNTRY", PR_COUNTRY_W},
    {"PR_CREATION_TIME", PR_CREATION_TIME},
    {"PR_CREATOR_ENTRYID", PR_CREATOR_ENTRYID},
    {"PR_CREATOR_NAME", PR_CREATOR_NAME_W},
    {"PR_CUSTOMER_ID", PR_CUSTOMER_ID_W},
    {"PR_DEFERRED_DELIVERY_TIME", PR_DEFERRED_DELIVERY_TIME},
    {"PR_DEPARTMENT_NAME", PR_DEPARTMENT_NAME_W},
    {"PR_DEPTH", PR_DEPTH},
    {"PR_DISCARD_REASON", PR_DISCARD_REASON},
    {"PR_DISPLAY_BCC", PR_DISPLAY_BCC_W},
    {"PR_DISPLAY_CC", PR_DISPLAY_CC_W},
    {"PR_DISPLAY_NAME", PR_DISPLAY_NAME_W},
    {"PR_DISPLAY_NAME_PREFIX", PR_DISPLAY_NAME_PREFIX_W},
    {"PR_DISPLAY_TO", PR_DISPLAY_TO_W},
    {"PR_DISPLAY_TYPE", PR_DISPLAY_TYPE},
    {"PR_DISPLAY_TYPE_EX", PR_DISPLAY_TYPE_EX},
    {"PR_EMAIL_ADDRESS", PR_EMAIL_ADDRESS_W},
    {"PR_EMS_AB_HOME_MDB", PR_EMS_AB_HOME_MDB_W},
    {"PR_EMS_AB_HOME_MTA", PR_EMS_AB_HOME_MTA_W},
    {"PR_EMS_AB_PROXY_ADDRESSES", PR_EMS_AB_PROXY_ADDRESSES_W},
    {"PR_END_DATE", PR_END_DATE},
    {"PR_ENTRYID", PR_ENTRYID},
    {"PR_EXCEPTION_ENDTIME", PR_EXCEPTION_ENDTIME},
    {"PR_EXCEPTION_STARTTIME", PR_EXCEPTION_STARTTIME},
    {"PR_EXPIRY_TIME", PR_EXPIRY_TIME},
    {"PR_FLAG_COMPLETE_TIME", PR_FLAG_COMPLETE_TIME},
    {"PR_FLAG_STATUS", PR_FLAG_STATUS},
    {"PR_FOLDER_TYPE", PR_FOLDER_TYPE},
    {"PR_FOLLOWUP_ICON", PR_FOLLOWUP_ICON},
    {"PR_FTP_SITE", PR_FTP_SITE_W},
    {"PR_GENDER", PR_GENDER},
    {"PR_GENERATION", PR_GENERATION_W},
    {"PR_GIVEN_NAME", PR_GIVEN_NAME_W},
    {"PR_GOVERNMENT_ID_NUMBER", PR_GOVERNMENT_ID_NUMBER_W},
    {"PR_HASATTACH", PR_HASATTACH},
    {"PR_HOBBIES", PR_HOBBIES_W},
    {"PR_HOME2_TELEPHONE_NUMBER", PR_HOME2_TELEPHONE_NUMBER_W},
    {"PR_HOME_ADDRESS_CITY", PR_HOME_ADDRESS_CITY_W},
    {"PR_HOME_ADDRESS_COUNTRY", PR_HOME_ADDRESS_COUNTRY_W},
    {"PR_HOME_ADDRESS_POSTAL_CODE", PR_HOME_ADDRESS_POSTAL_CODE_W},
    {"PR_HOME_ADDRESS_POST_OFFICE_BOX", PR_HOME_ADDRESS_POST_OFFICE_BOX_W},
    {"PR_HOME_ADDRESS_STATE_OR_PROVINCE", PR_HOME_ADDRESS_STATE_OR_PROVINCE_W},
    {"PR_HOME_ADDRESS_STREET", PR_HOME_ADDRESS_STREET_W},
    {"PR_HOME_FAX_NUMBER", PR_HOME_FAX_NUMBER_W},
    {"PR_HOME_TELEPHONE_NUMBER", PR_HOME_TELEPHONE_NUMBER_W},
    {"PR_HTML", PR_HTML},
    {"PR_ICON_INDEX", PR_ICON_INDEX},
    {"PR_IMPORTANCE", PR_IMPORTANCE},
    {"PR_INETMAIL_OVERRIDE_FORMAT", PR_INETMAIL_OVERRIDE_FORMAT},
    {"PR_INITIALS", PR_INITIALS_W},
    {"PR_INSTANCE_KEY", PR_INSTANCE_KEY},
    {"PR_INTERNET_CPID", PR_INTERNET_CPID},
    {"PR_INTERNET_MESSAGE_ID", PR_INTERNET_MESSAGE_ID_W},
    {"PR_INTERNET_REFERENCES", PR_INTERNET_REFERENCES_W},
    {"PR_IN_REPLY_TO_ID", PR_IN_REPLY_TO_ID_W},
    {"PR_IPM_APPOINTMENT_ENTRYID", PR_IPM_APPOINTMENT_ENTRYID},
    {"PR_IPM_CONTACT_ENTRYID", PR_IPM_CONTACT_ENTRYID},
    {"PR_IPM_DRAFTS_ENTRYID", PR_IPM_DRAFTS_ENTRYID},
    {"PR_IPM_JOURNAL_ENTRYID", PR_IPM_JOURNAL_ENTRYID},
    {"PR_IPM_NOTE_ENTRYID", PR_IPM_NOTE_ENTRYID},
    {"PR_IPM_OUTBOX_ENTRYID", PR_IPM_OUTBOX_ENTRYID},
    {"PR_IPM_SENTMAIL_ENTRYID", PR_IPM_SENTMAIL_ENTRYID},
    {"PR_IPM_SUBTREE_ENTRYID", PR_IPM_SUBTREE_ENTRYID},
    {"PR_IPM_TASK_ENTRYID", PR_IPM_TASK_ENTRYID},
    {"PR_IPM_WASTEBASKET_ENTRYID", PR_IPM_WASTEBASKET_ENTRYID},
    {"PR_ISDN_NUMBER", PR_ISDN_NUMBER_W},
    {"PR_KEYWORD", PR_KEYWORD_W},
    {"PR_LANGUAGE", PR_LANGUAGE_W},
    {"PR_LAST_MODIFICATION_TIME", PR_LAST_MODIFICATION_TIME},
    {"PR_LAST_MODIFIER_ENTRYID", PR_LAST_MODIFIER_ENTRYID},
    {"PR_LAST_MODIFIER_NAME", PR_LAST_MODIFIER_NAME_W},
    {"PR_LOCALITY", PR_LOCALITY_W},
    {"PR_LOCATION", PR_LOCATION_W},
    {"PR_LONGTERM_ENTRYID_FROM_TABLE", PR_LONGTERM_ENTRYID_FROM_TABLE},
    {"PR_MAILBOX_OWNER_ENTRYID", PR_MAILBOX_OWNER_ENTRYID},
    {"PR_MAILBOX_OWNER_NAME", PR_MAILBOX_OWNER_NAME_W},
    {"PR_MANAGER_NAME", PR_MANAGER_NAME_W},
    {"PR_MDB_PROVIDER", PR_MDB_PROVIDER},
    {"PR_MESSAGE_CLASS", PR_MESSAGE_CLASS_W},
    {"PR_MESSAGE_CODEPAGE", PR_MESSAGE_CODEPAGE},
    {"PR_MESSAGE_DELIVERY_TIME", PR_MESSAGE_DELIVERY_TIME},
    {"PR_MESSAGE_FLAGS", PR_MESSAGE_FLAGS},
    {"PR_MESSAGE_LOCALE_ID", PR_MESSAGE_LOCALE_ID},
    {"PR_MESSAGE_SIZE", PR_MESSAGE_SIZE},
    {"PR_MHS_COMMON_NAME", PR_MHS_COMMON_NAME_W},
    {"PR_MIDDLE_NAME", PR_MIDDLE_NAME_W},
    {"PR_MOBILE_TELEPHONE_NUMBER", PR_MOBILE_TELEPHONE_NUMBER_W},
    {"PR_MSG_EDITOR_FORMAT", PR_MSG_EDITOR_FORMAT},
    {"PR_NATIVE_BODY_INFO", PR_NATIVE_BODY_INFO},
    {"PR_NDR_DIAG_CODE", PR_NDR_DIAG_CODE},
    {"PR_NDR_REASON_CODE", PR_NDR_REASON_CODE},
    {"PR_NICKNAME", PR_NICKNAME_W},
    {"PR_NON_RECEIPT_REASON", PR_NON_RECEIPT_REASON},
    {"PR_NORMALIZED_SUBJECT", PR_NORMALIZED_SUBJECT_W},
    {"PR_OBJECT_TYPE", PR_OBJECT_TYPE},
    {"PR_OFFICE_LOCATION", PR_OFFICE_LOCATION_W},
    {"PR_ORGANIZATIONAL_ID_NUMBER", PR_ORGANIZATIONAL_ID_NUMBER_W},
    {"PR_ORIGINAL_AUTHOR_ADDRTYPE", PR_ORIGINAL_AUTHOR_ADDRTYPE_W},
    {"PR_ORIGINAL_AUTHOR_EMAIL_ADDRESS", PR_ORIGINAL_AUTHOR_EMAIL_ADDRESS_W},
    {"PR_ORIGINAL_AUTHOR_ENTRYID", PR_ORIGINAL_AUTHOR_ENTRYID},
    {"PR_ORIGINAL_AUTHOR_NAME", PR_ORIGINAL_AUTHOR_NAME_W},
    {"PR_ORIGINAL_AUTHOR_SEARCH_KEY", PR_ORIGINAL_AUTHOR_SEARCH_KEY},
    {"PR_ORIGINAL_DISPLAY_CC", PR_ORIGINAL_DISPLAY_CC_W},
    {"PR_ORIGINAL_DISPLAY_TO", PR_ORIGINAL_DISPLAY_TO_W},
    {"PR_ORIGINAL_ENTRYID", PR_ORIGINAL_ENTRYID},
    {"PR_ORIGINAL_MESSAGE_CLASS", PR_ORIGINAL_MESSAGE_CLASS_W},
    {"PR_ORIGINAL_SENDER_ADDRTYPE", PR_ORIGINAL_SENDER_ADDRTYPE_W},
    {"PR_ORIGINAL_SENDER_EMAIL_ADDRESS", PR_ORIGINAL_SENDER_EMAIL_ADDRESS_W},
    {"PR_ORIGINAL_SENDER_ENTRYID", PR_ORIGINAL_SENDER_ENTRYID},
    {"PR_ORIGINAL_SENDER_NAME", PR_ORIGINAL_SENDER_NAME_W},
    {"PR_ORIGINAL_SENDER_SEARCH_KEY", PR_ORIGINAL_SENDER_SEARCH_KEY},
    {"PR_ORIGINAL_SENT_REPRESENTING_ADDRTYPE", PR_ORIGINAL_SENT_REPRESENTING_ADDRTYPE_W},
    {"PR_ORIGINAL_SENT_REPRESENTING_EMAIL_ADDRESS", PR_ORIGINAL_SENT_REPRESENTING_EMAIL_ADDRESS_W},
    {"PR_ORIGINAL_SENT_REPRESENTING_ENTRYID", PR_ORIGINAL_SENT_REPRESENTING_ENTRYID},
    {"PR_ORIGINAL_SENT_REPRESENTING_NAME", PR_ORIGINAL_SENT_REPRESENTING_NAME_W},
    {"PR_ORIGINAL_SENT_REPRESENTING_SEARCH_KEY", PR_ORIGINAL_SENT_REPRESENTING_SEARCH_KEY},
    {"PR_ORIGINAL_SUBJECT", PR_ORIGINAL_SUBJECT_W},
    {"PR_ORIGINAL_SUBMIT_TIME", PR_ORIGINAL_SUBMIT_TIME},
    {"PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED", PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED},
    {"PR_OTHER_ADDRESS_CITY", PR_OTHER_ADDRESS_CITY_W},
    {"PR_OTHER_ADDRESS_COUNTRY", PR_OTHER_ADDRESS_COUNTRY_W},
    {"PR_OTHER_ADDRESS_POSTAL_CODE", PR_OTHER_ADDRESS_POSTAL_CODE_W},
    {"PR_OTHER_ADDRESS_POST_OFFICE_BOX", PR_OTHER_ADDRESS_POST_OFFICE_BOX_W},
    {"PR_OTHER_ADDRESS_STATE_OR_PROVINCE", PR_OTHER_ADDRESS_STATE_OR_PROVINCE_W},
    {"PR_OTHER_ADDRESS_STREET", PR_OTHER_ADDRESS_STREET_W},
    {"PR_OTHER_TELEPHONE_NUMBER", PR_OTHER_TELEPHONE_NUMBER_W},
    {"PR_OWNER_APPT_ID", PR_OWNER_APPT_ID},
    {"PR_PAGER_TELEPHONE_NUMBER", PR_PAGER_TELEPHONE_NUMBER_W},
    {"PR_PARENT_ENTRYID", PR_PARENT_ENTRYID},
    {"PR_PARENT_KEY", PR_PARENT_KEY},
    {"PR_PERSONAL_HOME_PAGE", PR_PERSONAL_HOME_PAGE_W},
    {"PR_POSTAL_ADDRESS", PR_POSTAL_ADDRESS_W},
    {"PR_POSTAL_CODE", PR_POSTAL_CODE_W},
    {"PR_POST_OFFICE_BOX", PR_POST_OFFICE_BOX_W},
    {"PR_PREFERRED_BY_NAME", PR_PREFERRED_BY_NAME_W},
    {"PR_PRIMARY_FAX_NUMBER", PR_PRIMARY_FAX_NUMBER_W},
    {"PR_PRIMARY_TELEPHONE_NUMBER", PR_PRIMARY_TELEPHONE_NUMBER_W},
    {"PR_PRIORITY", PR_PRIORITY},
    {"PR_PROFESSION", PR_PROFESSION_W},
    {"PR_RADIO_TELEPHONE_NUMBER", PR_RADIO_TELEPHONE_NUMBER_W},
    {"PR_RCVD_REPRESENTING_ADDRTYPE", PR_RCVD_REPRESENTING_ADDRTYPE_W},
    {"PR_RCVD_REPRESENTING_EMAIL_ADDRESS", PR_RCVD_REPRESENTING_EMAIL_ADDRESS_W},
    {"PR_RCVD_REPRESENTING_ENTRYID", PR_RCVD_REPRESENTING_ENTRYID},
    {"PR_RCVD_REPRESENTING_NAME", PR_RCVD_REPRESENTING_NAME_W},
    {"PR_RCVD_REPRESENTING_SEARCH_KEY", PR_RCVD_REPRESENTING_SEARCH_KEY},
    {"PR_READ_RECEIPT_ENTRYID", PR_READ_RECEIPT_ENTRYID},
    {"PR_READ_RECEIPT_REQUESTED", PR_READ_RECEIPT_REQUESTED},
    {"PR_READ_RECEIPT_SEARCH_KEY", PR_READ_RECEIPT_SEARCH_KEY},
    {"PR_RECEIPT_TIME", PR_RECEIPT_TIME},
    {"PR_RECEIVED_BY_ADDRTYPE", PR_RECEIVED_BY_ADDRTYPE_W},
    {"PR_RECEIVED_BY_EMAIL_ADDRESS", PR_RECEIVED_BY_EMAIL_ADDRESS_W},
    {"PR_RECEIVED_BY_ENTRYID", PR_RECEIVED_BY_ENTRYID},
    {"PR_RECEIVED_BY_NAME", PR_RECEIVED_BY_NAME_W},
    {"PR_RECEIVED_BY_SEARCH_KEY", PR_RECEIVED_BY_SEARCH_KEY},
    {"PR_RECIPIENT_DISPLAY_NAME", PR_RECIPIENT_DISPLAY_NAME_W},
    {"PR_RECIPIENT_ENTRYID", PR_RECIPIENT_ENTRYID},
    {"PR_RECIPIENT_FLAGS", PR_RECIPIENT_FLAGS},
    {"PR_RECIPIENT_TRACK_STATUS", PR_RECIPIENT_TRACKSTATUS},
    {"PR_RECIPIENT_TYPE", PR_RECIPIENT_TYPE},
    {"PR_RECORD_KEY", PR_RECORD_KEY},
    {"PR_RENDERING_POSITION", PR_RENDERING_POSITION},
    {"PR_REPLY_RECIPIENT_ENTRIES", PR_REPLY_RECIPIENT_ENTRIES},
    {"PR_REPLY_RECIPIENT_NAMES", PR_REPLY_RECIPIENT_NAMES_W},
    {"PR_REPLY_REQUESTED", PR_REPLY_REQUESTED},
    {"PR_REPLY_TIME", PR_REPLY_TIME},
    {"PR_REPORT_DISPOSITION", PR_REPORT_DISPOSITION_W},
    {"PR_REPORT_DISPOSITION_MODE", PR_REPORT_DISPOSITION_MODE_W},
    {"PR_REPORT_ENTRYID", PR_REPORT_ENTRYID},
    {"PR_REPORT_NAME", PR_REPORT_NAME_W},
    {"PR_REPORT_SEARCH_KEY", PR_REPORT_SEARCH_KEY},
    {"PR_REPORT_TAG", PR_REPORT_TAG},
    {"PR_REPORT_TEXT", PR_REPORT_TEXT_W},
    {"PR_REPORT_TIME", PR_REPORT_TIME},
    {"PR_RESPONSE_REQUESTED", PR_RESPONSE_REQUESTED},
    {"PR_RESPONSIBILITY", PR_RESPONSIBILITY},
    {"PR_ROWID", PR_ROWID},
    {"PR_RTF_COMPRESSED", PR_RTF_COMPRESSED},
    {"PR_RTF_IN_SYNC", PR_RTF_IN_SYNC},
    {"PR_SEARCH_KEY", PR_SEARCH_KEY},
    {"PR_SENDER_ADDRTYPE", PR_SENDER_ADDRTYPE_W},
    {"PR_SENDER_EMAIL_ADDRESS", PR_SENDER_EMAIL_ADDRESS_W},
    {"PR_SENDER_ENTRYID", PR_SENDER_ENTRYID},
    {"PR_SENDER_NAME", PR_SENDER_NAME_W},
    {"PR_SENDER_SEARCH_KEY", PR_SENDER_SEARCH_KEY},
    {"PR_SENDER_SMTP_ADDRESS", PR_SENDER_SMTP_ADDRESS_W},
    {"PR_SEND_RICH_INFO", PR_SEND_RICH_INFO},
    {"PR_SENSITIVITY", PR_SENSITIVITY},
    {"PR_SENT_REPRESENTING_ADDRTYPE", PR_SENT_REPRESENTING_ADDRTYPE_W},
    {"PR_SENT_REPRESENTING_EMAIL_ADDRESS", PR_SENT_REPRESENTING_EMAIL_ADDRESS_W},
    {"PR_SENT_REPRESENTING_ENTRYID", PR_SENT_REPRESENTING_ENTRYID},
    {"PR_SENT_REPRESENTING_NAME", PR_SENT_REPRESENTING_NAME_W},
    {"PR_SENT_REPRESENTING_SEARCH_KEY", PR_SENT_REPRESENTING_SEARCH_KEY},
    {"PR_SENT_REPRESENTING_SMTP_ADDRESS", PR_SENT_REPRESENTING_SMTP_ADDRESS_W},
    {"PR_SMTP_ADDRESS", PR_SMTP_ADDRESS_W},
    {"PR_SPOUSE_NAME", PR_SPOUSE_NAME_W},
    {"PR_START_DATE", PR_START_DATE},
    {"PR_STATE_OR_PROVINCE", PR_STATE_OR_PROVINCE_W},
    {"PR_STORE_ENTRYID", PR_STORE_ENTRYID},
    {"PR_STORE_RECORD_KEY", PR_STORE_RECORD_KEY},
    {"PR_STORE_SUPPORT_MASK", PR_STORE_SUPPORT_MASK},
    {"PR_STREET_ADDRESS", PR_STREET_ADDRESS_W},
    {"PR_SUBFOLDERS", PR_SUBFOLDERS},
    {"PR_SUBJECT", PR_SUBJECT_W},
    {"PR_SUBJECT_PREFIX", PR_SUBJECT_PREFIX_W},
    {"PR_SUPPLEMENTARY_INFO", PR_SUPPLEMENTARY_INFO_W},
    {"PR_SURNAME", PR_SURNAME_W},
    {"PR_TELEX_NUMBER", PR_TELEX_NUMBER_W},
    {"PR_TITLE", PR_TITLE_W},
    {"PR_TODO_ITEM_FLAGS", PR_TODO_ITEM_FLAGS},
    {"PR_TRANSMITABLE_DISPLAY_NAME", PR_TRANSMITABLE_DISPLAY_NAME_W},
    {"PR_TRANSPORT_MESSAGE_HEADERS", PR_TRANSPORT_MESSAGE_HEADERS_W},
    {"PR_TTYTDD_PHONE_NUMBER", PR_TTYTDD_PHONE_NUMBER_W},
    {"PR_USER_CERTIFICATE", PR_USER_CERTIFICATE},
    {"PR_USER_X509_CERTIFICATE", PR_USER_X509_CERTIFICATE},
    {"PR_WEDDING_ANNIVERSARY", PR_WEDDING_ANNIVERSARY},
};

struct TypeNameEntry {
    std::string_view name;
    std::uint16_t type;
};

// The first name of a type is the one TypeName gives back.
constexpr TypeNameEntry kTypeNames[] = {
    {"PT_NULL", PT_NULL},
    {"PT_I2", PT_I2},
    {"PT_SHORT", PT_SHORT},
    {"PT_LONG", PT_LONG},
    {"PT_I4", PT_I4},
    {"PT_FLOAT", PT_FLOAT},
    {"PT_R4", PT_R4},
    {"PT_DOUBLE", PT_DOUBLE},
    {"PT_R8", PT_R8},
    {"PT_CURRENCY", PT_CURRENCY},
    {"PT_APPTIME", PT_APPTIME},
    {"PT_ERROR", PT_ERROR},
    {"PT_BOOLEAN", PT_BOOLEAN},
    {"PT_I8", PT_I8},
    {"PT_LONGLONG", PT_LONGLONG},
    {"PT_STRING8", PT_STRING8},
    {"PT_UNICODE", PT_UNICODE},
    {"PT_SYSTIME", PT_SYSTIME},
    {"PT_CLSID", PT_CLSID},
    {"PT_BINARY", PT_BINARY},
    {"PT_MV_I2", PT_MV_I2},
    {"PT_MV_SHORT", PT_MV_SHORT},
    {"PT_MV_LONG", PT_MV_LONG},
    {"PT_MV_I4", PT_MV_I4},
    {"PT_MV_FLOAT", PT_MV_FLOAT},
    {"PT_MV_R4", PT_MV_R4},
    {"PT_MV_DOUBLE", PT_MV_DOUBLE},
    {"PT_MV_R8", PT_MV_R8},
    {"PT_MV_CURRENCY", PT_MV_CURRENCY},
    {"PT_MV_APPTIME", PT_MV_APPTIME},
    {"PT_MV_I8", PT_MV_I8},
    {"PT_MV_LONGLONG", PT_MV_LONGLONG},
    {"PT_MV_STRING8", PT_MV_STRING8},
    {"PT_MV_UNICODE", PT_MV_UNICODE},
    {"PT_MV_SYSTIME", PT_MV_SYSTIME},
    {"PT_MV_CLSID", PT_MV_CLSID},
    {"PT_MV_BINARY", PT_MV_BINARY},
    {"PT_OBJECT", PT_OBJECT},
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
    {"PidLidReminderDelta", "PSETID_Common", 0x8501, PT_LONG},
    {"PidLidReminderTime", "PSETID_Common", 0x8502, PT_SYSTIME},
    {"PidLidReminderSet", "PSETID_Common", 0x8503, PT_BOOLEAN},
    {"PidLidPrivate", "PSETID_Common", 0x8506, PT_BOOLEAN},
    {"PidLidSideEffects", "PSETID_Common", 0x8510, PT_LONG},
    {"PidLidSmartNoAttach", "PSETID_Common", 0x8514, PT_BOOLEAN},
    {"PidLidCommonStart", "PSETID_Common", 0x8516, PT_SYSTIME},
    {"PidLidCommonEnd", "PSETID_Common", 0x8517, PT_SYSTIME},
    {"PidLidTaskMode", "PSETID_Common", 0x8518, PT_LONG},
    {"PidLidTaskGlobalId", "PSETID_Common", 0x8519, PT_BINARY},
    {"PidLidFlagRequest", "PSETID_Common", 0x8530, PT_UNICODE},
    {"PidLidCurrentVersion", "PSETID_Common", 0x8552, PT_LONG},
    {"PidLidCurrentVersionName", "PSETID_Common", 0x8554, PT_UNICODE},
    {"PidLidReminderSignalTime", "PSETID_Common", 0x8560, PT_SYSTIME},
    {"PidLidContactLinkName", "PSETID_Common", 0x8586, PT_UNICODE},
    // Appointments and meetings.
    {"PidLidAppointmentSequence", "PSETID_Appointment", 0x8201, PT_LONG},
    {"PidLidAppointmentLastSequence", "PSETID_Appointment", 0x8203, PT_LONG},
    {"PidLidBusyStatus", "PSETID_Appointment", 0x8205, PT_LONG},
    {"PidLidLocation", "PSETID_Appointment", 0x8208, PT_UNICODE},
    {"PidLidAppointmentStartWhole", "PSETID_Appointment", 0x820D, PT_SYSTIME},
    {"PidLidAppointmentEndWhole", "PSETID_Appointment", 0x820E, PT_SYSTIME},
    {"PidLidAppointmentDuration", "PSETID_Appointment", 0x8213, PT_LONG},
    {"PidLidAppointmentColor", "PSETID_Appointment", 0x8214, PT_LONG},
    {"PidLidAppointmentSubType", "PSETID_Appointment", 0x8215, PT_BOOLEAN},
    {"PidLidAppointmentRecur", "PSETID_Appointment", 0x8216, PT_BINARY},
    {"PidLidAppointmentStateFlags", "PSETID_Appointment", 0x8217, PT_LONG},
    {"PidLidResponseStatus", "PSETID_Appointment", 0x8218, PT_LONG},
    {"PidLidAppointmentReplyTime", "PSETID_Appointment", 0x8220, PT_SYSTIME},
    {"PidLidRecurring", "PSETID_Appointment", 0x8223, PT_BOOLEAN},
    {"PidLidIntendedBusyStatus", "PSETID_Appointment", 0x8224, PT_LONG},
    {"PidLidExceptionReplaceTime", "PSETID_Appointment", 0x8228, PT_SYSTIME},
    {"PidLidFInvited", "PSETID_Appointment", 0x8229, PT_BOOLEAN},
    {"PidLidRecurrenceType", "PSETID_Appointment", 0x8231, PT_LONG},
    {"PidLidRecurrencePattern", "PSETID_Appointment", 0x8232, PT_UNICODE},
    {"PidLidTimeZoneStruct", "PSETID_Appointment", 0x8233, PT_BINARY},
    {"PidLidTimeZoneDescription", "PSETID_Appointment", 0x8234, PT_UNICODE},
    {"PidLidClipStart", "PSETID_Appointment", 0x8235, PT_SYSTIME},
    {"PidLidClipEnd", "PSETID_Appointment", 0x8236, PT_SYSTIME},
    {"PidLidAllAttendeesString", "PSETID_Appointment", 0x8238, PT_UNICODE},
    {"PidLidToAttendeesString", "PSETID_Appointment", 0x823B, PT_UNICODE},
    {"PidLidCcAttendeesString", "PSETID_Appointment", 0x823C, PT_UNICODE},
    {"PidLidAppointmentProposedStartWhole", "PSETID_Appointment", 0x8250, PT_SYSTIME},
    {"PidLidAppointmentProposedEndWhole", "PSETID_Appointment", 0x8251, PT_SYSTIME},
    {"PidLidAppointmentCounterProposal", "PSETID_Appointment", 0x8257, PT_BOOLEAN},
    {"PidLidAppointmentNotAllowPropose", "PSETID_Appointment", 0x825A, PT_BOOLEAN},
    {"PidLidAppointmentTimeZoneDefinitionStartDisplay", "PSETID_Appointment", 0x825E, PT_BINARY},
    {"PidLidAppointmentTimeZoneDefinitionEndDisplay", "PSETID_Appointment", 0x825F, PT_BINARY},
    {"PidLidAppointmentTimeZoneDefinitionRecur", "PSETID_Appointment", 0x8260, PT_BINARY},
    {"PidLidWhere", "PSETID_Meeting", 0x0002, PT_UNICODE},
    {"PidLidGlobalObjectId", "PSETID_Meeting", 0x0003, PT_BINARY},
    {"PidLidIsRecurring", "PSETID_Meeting", 0x0005, PT_BOOLEAN},
    {"PidLidIsException", "PSETID_Meeting", 0x000A, PT_BOOLEAN},
    {"PidLidOwnerCriticalChange", "PSETID_Meeting", 0x001A, PT_SYSTIME},
    {"PidLidCleanGlobalObjectId", "PSETID_Meeting", 0x0023, PT_BINARY},
    {"PidLidAppointmentMessageClass", "PSETID_Meeting", 0x0024, PT_UNICODE},
    {"PidLidMeetingType", "PSETID_Meeting", 0x0026, PT_LONG},
    // Tasks.
    {"PidLidTaskStatus", "PSETID_Task", 0x8101, PT_LONG},
    {"PidLidPercentComplete", "PSETID_Task", 0x8102, PT_DOUBLE},
    {"PidLidTeamTask", "PSETID_Task", 0x8103, PT_BOOLEAN},
    {"PidLidTaskStartDate", "PSETID_Task", 0x8104, PT_SYSTIME},
    {"PidLidTaskDueDate", "PSETID_Task", 0x8105, PT_SYSTIME},
    {"PidLidTaskAccepted", "PSETID_Task", 0x8108, PT_BOOLEAN},
    {"PidLidTaskDateCompleted", "PSETID_Task", 0x810F, PT_SYSTIME},
    {"PidLidTaskActualEffort", "PSETID_Task", 0x8110, PT_LONG},
    {"PidLidTaskEstimatedEffort", "PSETID_Task", 0x8111, PT_LONG},
    {"PidLidTaskVersion", "PSETID_Task", 0x8112, PT_LONG},
    {"PidLidTaskState", "PSETID_Task", 0x8113, PT_LONG},
    {"PidLidTaskLastUpdate", "PSETID_Task", 0x8115, PT_SYSTIME},
    {"PidLidTaskRecurrence", "PSETID_Task", 0x8116, PT_BINARY},
    {"PidLidTaskHistory", "PSETID_Task", 0x811A, PT_LONG},
    {"PidLidTaskComplete", "PSETID_Task", 0x811C, PT_BOOLEAN},
    {"PidLidTaskOwner", "PSETID_Task", 0x811F, PT_UNICODE},
    {"PidLidTaskLastUser", "PSETID_Task", 0x8122, PT_UNICODE},
    {"PidLidTaskFRecurring", "PSETID_Task", 0x8126, PT_BOOLEAN},
    {"PidLidTaskOwnership", "PSETID_Task", 0x8129, PT_LONG},
    {"PidLidTaskAcceptanceState", "PSETID_Task", 0x812A, PT_LONG},
    // Contacts and distribution lists.
    {"PidLidFileUnder", "PSETID_Address", 0x8005, PT_UNICODE},
    {"PidLidFileUnderId", "PSETID_Address", 0x8006, PT_LONG},
    {"PidLidHasPicture", "PSETID_Address", 0x8015, PT_BOOLEAN},
    {"PidLidHomeAddress", "PSETID_Address", 0x801A, PT_UNICODE},
    {"PidLidWorkAddress", "PSETID_Address", 0x801B, PT_UNICODE},
    {"PidLidOtherAddress", "PSETID_Address", 0x801C, PT_UNICODE},
    {"PidLidPostalAddressId", "PSETID_Address", 0x8022, PT_LONG},
    {"PidLidAddressBookProviderEmailList", "PSETID_Address", 0x8028, PT_MV_LONG},
    {"PidLidAddressBookProviderArrayType", "PSETID_Address", 0x8029, PT_LONG},
    {"PidLidHtml", "PSETID_Address", 0x802B, PT_UNICODE},
    {"PidLidYomiFirstName", "PSETID_Address", 0x802C, PT_UNICODE},
    {"PidLidYomiLastName", "PSETID_Address", 0x802D, PT_UNICODE},
    {"PidLidYomiCompanyName", "PSETID_Address", 0x802E, PT_UNICODE},
    {"PidLidWorkAddressStreet", "PSETID_Address", 0x8045, PT_UNICODE},
    {"PidLidWorkAddressCity", "PSETID_Address", 0x8046, PT_UNICODE},
    {"PidLidWorkAddressState", "PSETID_Address", 0x8047, PT_UNICODE},
    {"PidLidWorkAddressPostalCode", "PSETID_Address", 0x8048, PT_UNICODE},
    {"PidLidWorkAddressCountry", "PSETID_Address", 0x8049, PT_UNICODE},
    {"PidLidWorkAddressPostOfficeBox", "PSETID_Address", 0x804A, PT_UNICODE},
    {"PidLidContactUserField1", "PSETID_Address", 0x804F, PT_UNICODE},
    {"PidLidContactUserField2", "PSETID_Address", 0x8050, PT_UNICODE},
    {"PidLidContactUserField3", "PSETID_Address", 0x8051, PT_UNICODE},
    {"PidLidContactUserField4", "PSETID_Address", 0x8052, PT_UNICODE},
    {"PidLidDistributionListName", "PSETID_Address", 0x8053, PT_UNICODE},
    {"PidLidDistributionListOneOffMembers", "PSETID_Address", 0x8054, PT_MV_BINARY},
    {"PidLidDistributionListMembers", "PSETID_Address", 0x8055, PT_MV_BINARY},
    {"PidLidInstantMessagingAddress", "PSETID_Address", 0x8062, PT_UNICODE},
    {"PidLidEmail1DisplayName", "PSETID_Address", 0x8080, PT_UNICODE},
    {"PidLidEmail1AddressType", "PSETID_Address", 0x8082, PT_UNICODE},
    {"PidLidEmail1EmailAddress", "PSETID_Address", 0x8083, PT_UNICODE},
    {"PidLidEmail1OriginalDisplayName", "PSETID_Address", 0x8084, PT_UNICODE},
    {"PidLidEmail1OriginalEntryId", "PSETID_Address", 0x8085, PT_BINARY},
    {"PidLidEmail2DisplayName", "PSETID_Address", 0x8090, PT_UNICODE},
    {"PidLidEmail2AddressType", "PSETID_Address", 0x8092, PT_UNICODE},
    {"PidLidEmail2EmailAddress", "PSETID_Address", 0x8093, PT_UNICODE},
    {"PidLidEmail2OriginalDisplayName", "PSETID_Address", 0x8094, PT_UNICODE},
    {"PidLidEmail2OriginalEntryId", "PSETID_Address", 0x8095, PT_BINARY},
    {"PidLidEmail3DisplayName", "PSETID_Address", 0x80A0, PT_UNICODE},
    {"PidLidEmail3AddressType", "PSETID_Address", 0x80A2, PT_UNICODE},
    {"PidLidEmail3EmailAddress", "PSETID_Address", 0x80A3, PT_UNICODE},
    {"PidLidEmail3OriginalDisplayName", "PSETID_Address", 0x80A4, PT_UNICODE},
    {"PidLidEmail3OriginalEntryId", "PSETID_Address", 0x80A5, PT_BINARY},
    {"PidLidFreeBusyLocation", "PSETID_Address", 0x80D8, PT_UNICODE},
    // Sticky notes.
    {"PidLidNoteColor", "PSETID_Note", 0x8B00, PT_LONG},
    {"PidLidNoteWidth", "PSETID_Note", 0x8B02, PT_LONG},
    {"PidLidNoteHeight", "PSETID_Note", 0x8B03, PT_LONG},
    {"PidLidNoteX", "PSETID_Note", 0x8B04, PT_LONG},
    {"PidLidNoteY", "PSETID_Note", 0x8B05, PT_LONG},
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
    return (PROP_TYPE(tag) & ~MV_FLAG) == PT_UNICODE;
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
    return suffix == 'W' ? *tag : CHANGE_PROP_TYPE(*tag, (PROP_TYPE(*tag) & MV_FLAG) | PT_STRING8);
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
