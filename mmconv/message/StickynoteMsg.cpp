// CStickynoteMsg: the note headers.
#include "mmconv/message/StickynoteMsg.h"

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/Vocabulary.h"

namespace mmconv {
namespace {

struct NoteField {
    Vocab header;
    ULONG lid;
};

constexpr NoteField kNoteFields[] = {{Vocab::XNoteColor, kLidNoteColor}, {Vocab::XNoteLength, kLidNoteHeight},
    {Vocab::XNoteWidth, kLidNoteWidth}, {Vocab::XNoteX, kLidNoteX}, {Vocab::XNoteY, kLidNoteY}};

} // namespace

HRESULT CStickynoteMsg::SaveHeader(MimeOutput& output, bool top)
{
    if (HRESULT hr = CMMMessage::SaveHeader(output, top); FAILED(hr))
        return hr;
    for (const NoteField& field : kNoteFields) {
        MapiBuffer<SPropValue> value;
        if (FAILED(NamedProps().GetProp(NamedKey(field.lid, PT_LONG), value)))
            continue;
        output.WriteHeader(VocabularyWord(field.header), std::to_string(static_cast<ULONG>(value->Value.l)));
    }
    return output.Write({});
}

HRESULT CStickynoteMsg::GetBodyType(unsigned& bodyType)
{
    bodyType = kBodyTypePlain;
    return S_OK;
}

} // namespace mmconv
