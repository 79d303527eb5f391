// The fixed corpus of the conversion benchmarks: mails with attachments, HTML bodies with inline
// pictures, RTF bodies (encapsulated HTML and native RTF) and embedded messages, generated from a
// fixed seed as .msg documents.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/cfb/MsgModel.h"

namespace bench {

// `count` messages whose attachments and bodies add up to about `totalBytes`.
std::vector<platform::cfb::MsgDocument> BuildCorpus(std::size_t count, std::size_t totalBytes);

// Writes the corpus as DIR/mail-NNN.msg; the paths written.
std::vector<std::string> WriteCorpus(const std::string& directory, std::size_t count, std::size_t totalBytes);

} // namespace bench
