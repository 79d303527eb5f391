// The master and slave ends of a pseudo-terminal, and typing at the prompt.
#include "tests/imap/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace ex2qln::imap::testing {

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY))
{
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
        slavePath_ = ::ptsname(master_);
    // Held open so that the terminal stays usable between the client's openings of it.
    slave_ = slavePath_.empty() ? -1 : ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool PseudoTerminal::AnswerPrompt(std::string_view prompt, std::string_view keys)
{
    std::string seen;
    while (seen.find(prompt) == std::string::npos) {
        pollfd poller{master_, POLLIN, 0};
        char buffer[256];
        if (::poll(&poller, 1, 10000) != 1)
            return false;
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        seen.append(buffer, static_cast<std::size_t>(count));
    }
    return ::write(master_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}

} // namespace ex2qln::imap::testing
