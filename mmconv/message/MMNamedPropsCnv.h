// MMNamedPropsCnv: the per-message cache of the named properties the converters know, resolved
// into the message's tags once, and the carried Internet headers and custom-tag lines kept in
// named properties.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <MapiPtr.h>
#include <mapidefs.h>

#include "mmconv/message/MimeOutput.h"

namespace mmconv {

// The system's own property set, which holds the custom-tag properties:
// {438256C1-AB42-41A2-88F8-2493189A3971}.
extern const GUID PSETID_Quillon;

// A named-property key: the LID in the high 16 bits, the wanted property type in the low 16.
constexpr ULONG NamedKey(ULONG lid, ULONG type)
{
    return (lid << 16) | type;
}

// Numeric names the converters read by key.
inline constexpr ULONG kLidCustomFormFlag = 0x8510;  // PSETID_Common, long: non-zero means a custom form
inline constexpr ULONG kLidCustomFormScript = 0x8513;
inline constexpr ULONG kLidCustomFormData = 0x850F;
inline constexpr ULONG kLidCustomFormType = 0x8542;
inline constexpr ULONG kLidCustomFormDefinition = 0x8540;
inline constexpr ULONG kLidFlagRequest = 0x8530;     // PSETID_Common, the follow-up flag text
inline constexpr ULONG kLidNoteColor = 0x8B00;       // PSETID_Note
inline constexpr ULONG kLidNoteHeight = 0x8B02;
inline constexpr ULONG kLidNoteWidth = 0x8B03;
inline constexpr ULONG kLidNoteX = 0x8B04;
inline constexpr ULONG kLidNoteY = 0x8B05;

// String names.
inline constexpr std::u16string_view kNameKeywords = u"Keywords";          // PS_PUBLIC_STRINGS
inline constexpr std::u16string_view kNameContentType = u"Content-Type";   // PS_INTERNET_HEADERS
inline constexpr std::u16string_view kNameCustomTagValues = u"X-MAPITAG-Values";
inline constexpr std::u16string_view kNameCustomTagIds = u"X-MAPITAG-IDs";

class MMNamedPropsCnv {
public:
    // Which definitions are resolved.
    enum Selector : unsigned { kAllGroups = 0, kCustomFormGroup = 1, kStringAndMeetingGroup = 2 };

    // Nothing is resolved until the first look-up; with kStringAndMeetingGroup missing names are
    // created. The message is referenced for the cache's life.
    MMNamedPropsCnv(IMessage* message, unsigned selector);
    ~MMNamedPropsCnv();
    MMNamedPropsCnv(const MMNamedPropsCnv&) = delete;
    MMNamedPropsCnv& operator=(const MMNamedPropsCnv&) = delete;

    // Resolves the selected groups with one GetIDsFromNames call; E_FAIL without a message.
    HRESULT GetIDs();

    // The message's tag for a key (its LID's resolved id with the key's type); E_FAIL when the LID
    // is not one of the definitions or did not resolve.
    HRESULT GetOneProp(ULONG key, ULONG& tag);
    // The same for a string name, with the wanted type.
    HRESULT GetOneProp(std::u16string_view name, ULONG type, ULONG& tag);

    // Whether the name resolves and the message has the property (any type).
    bool CheckPropExists(ULONG key);

    // The value of a named property in the key's type (or the given type for a name).
    HRESULT GetProp(ULONG key, MapiBuffer<SPropValue>& value);
    HRESULT GetProp(std::u16string_view name, ULONG type, MapiBuffer<SPropValue>& value);

    // Writes the stored "Received" lines to `output` at once and gathers the carried "X-" headers
    // (and "X-CustomData") as header lines in `carried`. `encode` turns a header value that needs it
    // into encoded words.
    using HeaderEncoder = std::function<std::string(std::u16string_view)>;
    HRESULT SaveUnknownHeaders(MimeOutput& output, std::string& carried, const HeaderEncoder& encode);

    // Writes the kept content lines of one component through FoldedOutput, each with its line end:
    // the values of "X-MAPITAG-Values" whose entry in "X-MAPITAG-IDs" equals the component. Nothing
    // is written when either property is missing or their counts differ.
    HRESULT SaveCustomTags(MimeOutput& output, unsigned& column, LONG component);

private:
    HRESULT EnsureResolved();
    // Whether a property of this name could give a header line: a field name in a set whose
    // properties may be header fields.
    static bool MayBeHeaderField(const MAPINAMEID* name);
    // One property that MayBeHeaderField lets through, saved as SaveUnknownHeaders says.
    static void SaveUnknownHeader(MimeOutput& output, std::string& carried, const HeaderEncoder& encode,
        const MAPINAMEID& name, const SPropValue& value);

    // The definitions of one selector and the names to resolve them with, made once.
    struct Selection;
    static const Selection& SelectionOf(unsigned selector);

    MapiPtr<IMAPIProp> prop_;
    unsigned selector_;
    bool resolved_ = false;
    HRESULT resolveStatus_ = S_OK;
    const Selection* selection_ = nullptr;
    // The message's tags for the selection's names, in their order: numeric ones, then strings.
    MapiBuffer<SPropTagArray> tags_;
};

// A stored Received value with a line break before each inner " by ", " via ", " with " and
// " for ", searched for in that order (the text before one is written, then the rest is searched).
std::string FoldReceivedValue(std::string_view value);

} // namespace mmconv
