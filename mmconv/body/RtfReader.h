// Reads RTF into runs of Unicode text and breaks for a handler: groups and their state, fonts and
// code pages, Unicode escapes, destinations to skip, and the marks of encapsulated HTML.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/HResult.h"

namespace mmconv {

// What applies to a run of text.
struct RtfRunState {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool htmlRtf = false;  // inside \htmlrtf: RTF rendering that encapsulated HTML did not have
    bool htmlTag = false;  // inside an \*\htmltag destination: original HTML, not visible text
    bool operator==(const RtfRunState&) const = default;
};

enum class RtfBreak { kParagraph, kLine };

class RtfHandler {
public:
    virtual ~RtfHandler() = default;
    virtual void Text(std::u16string_view text, const RtfRunState& state) = 0;
    virtual void Break(RtfBreak kind, const RtfRunState& state) = 0;
    // A field begins; its result text follows.
    virtual void FieldStart() {}
    // The field begun last ends; target is its hyperlink target, empty for other fields.
    virtual void FieldEnd(std::u16string_view target) { (void)target; }
};

// What the header says about the document's origin.
struct RtfDocumentInfo {
    bool fromHtml = false;  // \fromhtml1: HTML is encapsulated
    bool fromText = false;  // \fromtext: plain text is encapsulated
    unsigned codePage = 1252;
};

class RtfReader {
public:
    static constexpr std::size_t kMaxGroupDepth = 1000;

    // Reads the whole document into handler. Fails with the corrupt-data status when the input does
    // not start like RTF or nests groups deeper than kMaxGroupDepth.
    HRESULT Read(std::string_view rtf, RtfHandler& handler);

    const RtfDocumentInfo& Info() const { return info_; }

private:
    enum class Destination { kText, kFontTable, kFieldInstruction, kSkip };

    struct GroupState {
        Destination destination = Destination::kText;
        RtfRunState run;
        int font = -1;           // -1: the default font
        int unicodeSkip = 1;     // \ucN
        int fontDefinition = -1; // the font a font-table entry defines
        int field = -1;          // the field whose group this is in (index into fields_)
    };

    struct Font {
        int charset = 1;
        unsigned codePage = 0;   // from \cpgN, else from the charset
    };

    void Reset();
    HRESULT GroupStart();
    void GroupEnd();
    void FieldEnd(int field);
    void ControlWord(std::string_view word, bool hasParameter, std::int32_t parameter);
    void ControlSymbol(char symbol);
    bool Destinations(std::string_view word);
    void FontWord(std::string_view word, bool hasParameter, std::int32_t parameter);
    void Bytes(std::string_view bytes);
    void Unicode(std::int32_t value);
    void Emit(std::u16string_view text);
    void EmitBreak(RtfBreak kind);
    void Flush();
    unsigned CurrentCodePage() const;
    bool SkipsUnicodeFallback();

    RtfHandler* handler_ = nullptr;
    RtfDocumentInfo info_;
    std::vector<GroupState> groups_;
    GroupState state_;
    std::map<int, Font> fonts_;
    std::vector<std::string> fieldInstructions_;
    int defaultFont_ = -1;
    bool afterStar_ = false;      // the previous token was \*
    bool textSeen_ = false;
    int fallbackLeft_ = 0;        // bytes still to skip after \uN
    std::string pending_;         // undecoded bytes of the current run
    unsigned pendingCodePage_ = 0;
    RtfRunState pendingState_;
};

// The Windows code page of an RTF \fcharsetN value; 0 for "the document's".
unsigned CodePageOfCharset(int charset);

// The target of a field instruction HYPERLINK "target" (switches ignored; a link to a local
// anchor has none); empty for other instructions.
std::u16string HyperlinkTarget(std::string_view instruction);

} // namespace mmconv
