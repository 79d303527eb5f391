// The ex2qln command line that the launcher's choices stand for: as words, as the text the
// dialog shows, and as the arguments ex2qln is started with.
#pragma once

#include "ex2qlnui/LauncherChoices.h"

#include <optional>
#include <string>
#include <vector>

namespace ex2qlnui {

struct CommandWord {
    std::string name;                  // a command word, a flag ("--ssl") or a valued option ("--server")
    std::optional<std::string> value;  // the field's text, for a valued option
    bool secret = false;               // the password: masked on screen, never an argument

    bool operator==(const CommandWord&) const = default;
};

// What the dialog shows in place of the password.
inline constexpr char kPasswordMask[] = "********";

// The command words in effect, in ex2qln's order, then the valued options whose fields are not
// empty, then the server options when a server-side command is in effect.
std::vector<CommandWord> BuildCommandWords(const LauncherChoices& choices);

// The journal that ex2qln keeps when the journal field is left empty: beside the accounts file in
// effect; empty without one.
std::string DefaultJournalFile(const LauncherChoices& choices);

// "ex2qln" and each word after a blank, a valued option as --name="value" with the text as it
// stands; the password shown as the mask.
std::string DisplayCommandLine(const std::vector<CommandWord>& words);

// The arguments after the program name: each word as one argument (--name=value, no quoting),
// the password replaced by --pwd-file=`passwordFile`, and "--wait" last, so that the window stays
// open until Enter is pressed.
std::vector<std::string> UtilityArguments(const std::vector<CommandWord>& words, const std::string& passwordFile);

} // namespace ex2qlnui
