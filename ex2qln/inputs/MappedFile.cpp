// The mapped input file and its line reader.
#include "ex2qln/inputs/MappedFile.h"

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

void CMappedText::Advance(std::size_t& position) const
{
    if (!AtEnd(position))
        ++position;
}

void CMappedText::SkipLineEnds(std::size_t& position) const
{
    while (!AtEnd(position) && IsLineEndCharacter(Bytes()[position]))
        ++position;
}

void CMappedText::SkipToLineEnd(std::size_t& position) const
{
    while (!AtLineEnd(position))
        ++position;
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

} // namespace ex2qln::inputs
