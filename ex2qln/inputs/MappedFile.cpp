// The mapped input file and its line reader.
#include "ex2qln/inputs/MappedFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace ex2qln::inputs {

HRESULT CMappedFile::Open(const std::string& path)
{
    Close();
    const HRESULT status = mapping_.Open(path);
    if (FAILED(status))
        return status;
    if (mapping_.Bytes().size() > std::numeric_limits<std::uint32_t>::max()) {
        Close();
        return HResultFromErrno(EFBIG);
    }
    return S_OK;
}

void CMappedFile::Close() { mapping_ = platform::ReadOnlyMapping(); }

void CMappedFile::ReleasePages(std::size_t begin, std::size_t end) const
{
    // The mapping starts on a page boundary, so offsets round to pages as addresses do.
    static const std::size_t pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t first = (begin + pageSize - 1) / pageSize * pageSize;
    const std::size_t last = std::min(end, Bytes().size()) / pageSize * pageSize;
    if (first < last)
        ::madvise(const_cast<char*>(Bytes().data()) + first, last - first, MADV_DONTNEED);
}

void CMappedText::ReleasePassed(std::size_t position) const
{
    if (position < releasedUpTo_) {
        releasedUpTo_ = position;
        return;
    }
    if (position - releasedUpTo_ < kReleaseStride)
        return;
    ReleasePages(releasedUpTo_, position);
    releasedUpTo_ = position;
}

void CMappedText::Advance(std::size_t& position) const
{
    if (!AtEnd(position))
        ++position;
}

void CMappedText::SkipLineEnds(std::size_t& position) const
{
    ScanWhile(position, [this](std::size_t at) { return IsLineEndCharacter(Bytes()[at]); });
}

void CMappedText::SkipToLineEnd(std::size_t& position) const
{
    ScanWhile(position, [this](std::size_t at) { return !IsLineEndCharacter(Bytes()[at]); });
}

std::optional<std::string_view> CMappedText::NextLine(std::size_t& position) const
{
    SkipLineEnds(position);
    if (AtEnd(position))
        return std::nullopt;
    const std::size_t start = position;
    SkipToLineEnd(position);
    return std::string_view(Bytes().data() + start, position - start);
}

std::size_t CMappedText::LineNumber(std::size_t position) const
{
    const std::span<const char> bytes = Bytes();
    std::size_t line = 1;
    std::size_t at = 0;
    ScanWhile(at, [&](std::size_t index) {
        if (index >= position)
            return false;
        // A CR counts unless an LF follows it, which counts instead.
        if (bytes[index] == '\n' || (bytes[index] == '\r' && (index + 1 == bytes.size() || bytes[index + 1] != '\n')))
            ++line;
        return true;
    });
    return line;
}

} // namespace ex2qln::inputs
