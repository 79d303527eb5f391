// Runs the independent TNEF decoders (Debian's tnef and ytnef) on a stream and reads what they
// report: errors, the MAPI properties they list and the attachment files they write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tneftest {

bool HaveProgram(const std::string& name);

// One property as a decoder lists it.
struct ListedProperty {
    int component = 0;  // 0 for the message, n for the n-th attachment (tnef only)
    std::string id;     // four hexadecimal digits: the tag's id, or a named property's LID
    std::string type;   // four hexadecimal digits (tnef only)
    std::string guid;   // a named property's set as the decoder prints it
    std::string name;   // a string name
    std::vector<std::string> values;  // tnef gives line ends in texts as "\n"
};

struct DecoderReport {
    int exitCode = -1;
    std::string output;
    std::vector<std::string> errors;              // lines that report an error or a warning
    std::string extractionError;                  // how writing the files failed, if it did
    std::vector<ListedProperty> properties;       // in stream order
    std::map<std::string, std::string> files;     // attachment files written: name -> bytes
};

// `tnef -t --debug -f FILE` (strict: checksums, types, trailing bytes), then `tnef -C DIR` for
// the files. Work files go into `directory`.
DecoderReport DecodeWithTnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory);

// `ytnef -v -v -v FILE` for the listed message properties, then `ytnef -f DIR FILE` for the files.
DecoderReport DecodeWithYtnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory);

// The properties with this id (several for repeated ids in attachments and nested lists).
std::vector<const ListedProperty*> FindListed(const DecoderReport& report, const std::string& id);

std::string Hex4(unsigned value);

} // namespace tneftest
