// The library's process-wide state, written only by the start-up and the shut-down.
#include "mmconv/message/LibraryState.h"

#include <memory>

#include "Version.h"
#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/Boundary.h"

namespace mmconv {
namespace {

struct State {
    bool convertRtf = false;
    std::unique_ptr<CMMLang> lang;
    OutlookOptions options;
};

State& TheState()
{
    static State state;
    return state;
}

} // namespace

void StartLibrary(bool convertRtf, unsigned seed)
{
    State& state = TheState();
    state.convertRtf = convertRtf;
    state.lang = std::make_unique<CMMLang>();
    state.options = ReadOutlookOptions();
    SeedBoundaryGenerator(seed);
}

void StopLibrary()
{
    TheState() = State();
}

bool ConvertRtfBodies()
{
    return TheState().convertRtf;
}

const CMMLang& Lang()
{
    State& state = TheState();
    if (!state.lang)
        state.lang = std::make_unique<CMMLang>();
    return *state.lang;
}

const OutlookOptions& Options()
{
    return TheState().options;
}

const std::string& MailerValue()
{
    static const std::string value = std::string(VocabularyWord(Vocab::MailerName)) + " " + ex2qln::version::kText;
    return value;
}

} // namespace mmconv
