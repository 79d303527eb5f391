/* Parses one message with GMime in strict RFC compliance mode and prints every parser warning.
 *
 * Usage: validators-gmime-strict FILE
 * Prints one line per warning: "OFFSET<TAB>NAME<TAB>ITEM" (OFFSET -1 when GMime does not know it).
 * Exit status: 0 no warning, 1 warnings or the message could not be parsed, 2 usage or I/O error.
 *
 * GMime parses some headers lazily (address lists, encoded words), so after parsing every header of
 * every part, embedded messages included, is decoded once to give those warnings a chance. */
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>

static int warning_count = 0;

static const char* warning_name(GMimeParserWarning code)
{
    switch (code) {
    case GMIME_WARN_DUPLICATED_HEADER: return "DUPLICATED_HEADER";
    case GMIME_WARN_DUPLICATED_PARAMETER: return "DUPLICATED_PARAMETER";
    case GMIME_WARN_UNENCODED_8BIT_HEADER: return "UNENCODED_8BIT_HEADER";
    case GMIME_WARN_INVALID_CONTENT_TYPE: return "INVALID_CONTENT_TYPE";
    case GMIME_WARN_INVALID_RFC2047_HEADER_VALUE: return "INVALID_RFC2047_HEADER_VALUE";
    case GMIME_WARN_MALFORMED_MULTIPART: return "MALFORMED_MULTIPART";
    case GMIME_WARN_TRUNCATED_MESSAGE: return "TRUNCATED_MESSAGE";
    case GMIME_WARN_MALFORMED_MESSAGE: return "MALFORMED_MESSAGE";
    case GMIME_CRIT_INVALID_HEADER_NAME: return "INVALID_HEADER_NAME";
    case GMIME_CRIT_CONFLICTING_HEADER: return "CONFLICTING_HEADER";
    case GMIME_CRIT_CONFLICTING_PARAMETER: return "CONFLICTING_PARAMETER";
    case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY: return "MULTIPART_WITHOUT_BOUNDARY";
    case GMIME_WARN_INVALID_PARAMETER: return "INVALID_PARAMETER";
    case GMIME_WARN_INVALID_ADDRESS_LIST: return "INVALID_ADDRESS_LIST";
    case GMIME_CRIT_NESTING_OVERFLOW: return "NESTING_OVERFLOW";
    case GMIME_WARN_PART_WITHOUT_CONTENT: return "PART_WITHOUT_CONTENT";
    case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT: return "PART_WITHOUT_HEADERS_OR_CONTENT";
    }
    return "UNKNOWN_WARNING";
}

/* The offending text on one line: control characters and 8-bit bytes as \xNN. */
static void print_item(const char* item)
{
    if (item == NULL)
        return;
    for (const unsigned char* p = (const unsigned char*)item; *p != '\0'; ++p) {
        if (*p < 0x20 || *p >= 0x7f || *p == '\\')
            printf("\\x%02X", *p);
        else
            putchar(*p);
    }
}

static void on_warning(gint64 offset, GMimeParserWarning code, const gchar* item, gpointer user_data)
{
    (void)user_data;
    ++warning_count;
    printf("%" G_GINT64_FORMAT "\t%s\t", offset, warning_name(code));
    print_item(item);
    putchar('\n');
}

static void decode_headers(GMimeObject* object)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i)
        (void)g_mime_header_get_value(g_mime_header_list_get_header_at(headers, i));
}

static void visit(GMimeObject* object);

static void visit_message(GMimeMessage* message)
{
    decode_headers(GMIME_OBJECT(message));
    for (int type = GMIME_ADDRESS_TYPE_SENDER; type <= GMIME_ADDRESS_TYPE_BCC; ++type)
        (void)g_mime_message_get_addresses(message, (GMimeAddressType)type);
    (void)g_mime_message_get_date(message);
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (body != NULL)
        visit(body);
}

static void visit(GMimeObject* object)
{
    decode_headers(object);
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            visit(g_mime_multipart_get_part(multipart, i));
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* embedded = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (embedded != NULL)
            visit_message(embedded);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == NULL) {
        fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
        return 2;
    }
    g_mime_init();
    GMimeParserOptions* options = g_mime_parser_options_new();
    g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
    g_mime_parser_options_set_allow_addresses_without_domain(options, FALSE);
    g_mime_parser_options_set_warning_callback(options, on_warning, NULL);

    GMimeStream* stream = g_mime_stream_file_new(file);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    GMimeMessage* message = g_mime_parser_construct_message(parser, options);
    int status = 0;
    if (message == NULL) {
        printf("-1\tNOT_A_MESSAGE\t\n");
        status = 1;
    } else {
        visit_message(message);
        g_object_unref(message);
    }
    if (warning_count > 0)
        status = 1;
    g_object_unref(parser);
    g_object_unref(stream);
    g_mime_parser_options_free(options);
    g_mime_shutdown();
    return status;
}
