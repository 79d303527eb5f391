// CMappedFile and CMappedText: read-only memory-mapped input files and line-wise reading of them.
#pragma once

#include "platform/base/HResult.h"
#include "platform/files/ReadOnlyMapping.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ex2qln::inputs {

class CMappedFile {
public:
    CMappedFile() = default;
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;
    virtual ~CMappedFile() = default;

    // Maps the whole existing file read-only; any earlier file is unmapped first. Failures are the
    // system error as a status (0x80070000 | errno); files of 4 GiB or more give 0x8007001B (EFBIG).
    HRESULT Open(const std::string& path);
    void Close();

    std::span<const char> Bytes() const { return mapping_.Bytes(); }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(mapping_.Bytes().size()); }

private:
    platform::ReadOnlyMapping mapping_;
};

// A mapped text file read through a position (a byte offset) that never passes the end.
class CMappedText : public CMappedFile {
public:
    static bool IsLineEndCharacter(char character) { return character == '\r' || character == '\n'; }

    // Moves `position` one byte forward.
    virtual void Advance(std::size_t& position) const;

    bool AtEnd(std::size_t position) const { return position >= Bytes().size(); }
    // At a CR, an LF or the end of the file.
    bool AtLineEnd(std::size_t position) const { return AtEnd(position) || IsLineEndCharacter(Bytes()[position]); }
    // Moves past a run of CR and LF characters.
    void SkipLineEnds(std::size_t& position) const;
    // Moves to the next CR, LF or the end of the file.
    void SkipToLineEnd(std::size_t& position) const;

    // The next line that is not empty, without its line end; `position` moves past it. Any run of
    // CR and LF separates two lines. nullopt at the end of the file.
    std::optional<std::string_view> NextLine(std::size_t& position) const;
};

} // namespace ex2qln::inputs
