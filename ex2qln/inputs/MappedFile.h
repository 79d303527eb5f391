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

protected:
    // Gives back the memory of the whole pages between the byte offsets `begin` and `end`; reading
    // them again maps them again from the file, so nothing the caller sees changes.
    void ReleasePages(std::size_t begin, std::size_t end) const;

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
    // Moves `position` forward while `keepGoing(position)` is true, up to the end of the file. Once
    // the scans have gone a long way forward, the pages behind them are given back, so that reading
    // a line, however long it is and however many fields it has, keeps little of it in memory.
    template <typename Predicate>
    void ScanWhile(std::size_t& position, Predicate keepGoing) const;

    // Moves past a run of CR and LF characters.
    void SkipLineEnds(std::size_t& position) const;
    // Moves to the next CR, LF or the end of the file.
    void SkipToLineEnd(std::size_t& position) const;

    // The next line that is not empty, without its line end; `position` moves past it. Any run of
    // CR and LF separates two lines. nullopt at the end of the file.
    std::optional<std::string_view> NextLine(std::size_t& position) const;

    // The number of the line that holds `position`, counted from 1; CR LF, CR and LF each end a line.
    std::size_t LineNumber(std::size_t position) const;

private:
    // How far the scans go before they give back the pages behind them.
    static constexpr std::size_t kReleaseStride = std::size_t{1} << 20;

    // Gives back the pages from releasedUpTo_ to `position` once they are kReleaseStride or more; a
    // position before releasedUpTo_ (a reader that starts again) moves it back.
    void ReleasePassed(std::size_t position) const;

    // Where the pages were last given back up to. Only memory use depends on it, so the const
    // readers may move it.
    mutable std::size_t releasedUpTo_ = 0;
};

template <typename Predicate>
void CMappedText::ScanWhile(std::size_t& position, Predicate keepGoing) const
{
    // Also at the start: readers step over separators and quotes between their scans.
    ReleasePassed(position);
    while (!AtEnd(position) && keepGoing(position)) {
        ++position;
        if (position - releasedUpTo_ >= kReleaseStride)
            ReleasePassed(position);
    }
}

} // namespace ex2qln::inputs
