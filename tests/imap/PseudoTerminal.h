// A pseudo-terminal for the password prompt: the client talks to its slave side, the test types at
// its master side.
#pragma once

#include <string>
#include <string_view>

namespace ex2qln::imap::testing {

class PseudoTerminal {
public:
    PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    const std::string& SlavePath() const { return slavePath_; }
    bool Usable() const { return slave_ >= 0; }

    // Waits for `prompt` (at most ten seconds), then types `keys`.
    bool AnswerPrompt(std::string_view prompt, std::string_view keys);

private:
    int master_;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace ex2qln::imap::testing
