// The master and slave ends of a pseudo-terminal, and reading and typing at the master end.
#include "tests/support/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace testsupport {

PseudoTerminal::PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY))
{
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
        slavePath_ = ::ptsname(master_);
    slave_ = slavePath_.empty() ? -1 : ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
}

PseudoTerminal::~PseudoTerminal()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

std::string PseudoTerminal::ReadUntil(std::string_view expected)
{
    std::string seen;
    while (seen.find(expected) == std::string::npos) {
        pollfd poller{master_, POLLIN, 0};
        if (::poll(&poller, 1, 10000) != 1)
            return {};
        char buffer[256];
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0)
            return {};
        seen.append(buffer, static_cast<std::size_t>(count));
    }
    return seen;
}

bool PseudoTerminal::Type(std::string_view keys)
{
    return ::write(master_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}

bool PseudoTerminal::AnswerPrompt(std::string_view prompt, std::string_view keys)
{
    return !ReadUntil(prompt).empty() && Type(keys);
}

} // namespace testsupport
