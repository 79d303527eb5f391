// transfer_memory_corpus DIR: writes the messages of the transfer memory benchmark as .msg files:
// DIR/large (one mail with a 100 MB attachment) and DIR/small (10,000 small mails), each under
// m0/folder0 (bench/transfer-memory).
#include <cstdio>
#include <string>

#include "bench/organisation/GeneratedOrganisation.h"

namespace {

bool Write(const std::string& directory, std::size_t messages, std::size_t attachmentBytes)
{
    bench::OrganisationShape shape;
    shape.mailboxes = 1;
    shape.directoriesPerMailbox = 1;
    shape.messagesPerDirectory = messages;
    shape.attachmentBytes = attachmentBytes;
    shape.inlineMessagesPerMailbox = 0;
    std::string error;
    if (FAILED(bench::WriteMessageFiles(directory, shape, error))) {
        std::fprintf(stderr, "transfer_memory_corpus: %s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: transfer_memory_corpus DIR\n");
        return 2;
    }
    const std::string directory = argv[1];
    return Write(directory + "/large", 1, 100 << 20) && Write(directory + "/small", 10000, 512) ? 0 : 1;
}
