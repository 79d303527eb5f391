// A pseudo-terminal for the password prompt: the prompt opens its slave side by name, the test reads
// what the prompt writes and types at its master side.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

class PseudoTerminal {
public:
    PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    bool Usable() const { return slave_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    // The slave side, held open so that the terminal keeps its modes between the prompt's opens.
    int Slave() const { return slave_; }

    // What the prompt wrote, up to and including `expected`; empty after ten seconds without it.
    std::string ReadUntil(std::string_view expected);
    // Types `keys`; false when they could not all be written.
    bool Type(std::string_view keys);
    // Waits for `prompt`, then types `keys`.
    bool AnswerPrompt(std::string_view prompt, std::string_view keys);

private:
    int master_;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace testsupport
