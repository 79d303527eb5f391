// The pattern's layout: the fixed head (versions, frequency, pattern and calendar type, first
// date-time, period, sliding flag), the pattern-type fields, the range, the deleted and modified
// instance dates, start and end date; then the appointment extension (versions, start and end time
// offsets, exception count and records).
#include "mmconv/calendar/RecurrencePattern.h"

#include <optional>

#include "platform/base/LittleEndian.h"

namespace mmconv {
namespace {

// Exception record fields, by override flag, in the order they are stored.
constexpr std::uint16_t kOverrideSubject = 0x0001;
constexpr std::uint16_t kOverrideLocation = 0x0010;
struct OverrideField {
    std::uint16_t flag;
    bool text;
};
constexpr OverrideField kOverrideFields[] = {{kOverrideSubject, true}, {0x0002, false}, {0x0004, false},
    {0x0008, false}, {kOverrideLocation, true}, {0x0020, false}, {0x0040, false}, {0x0080, false}, {0x0100, false}};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::uint16_t> U16()
    {
        if (bytes_.size() - at_ < 2)
            return std::nullopt;
        at_ += 2;
        return platform::ReadU16(bytes_, at_ - 2);
    }

    std::optional<std::uint32_t> U32()
    {
        if (bytes_.size() - at_ < 4)
            return std::nullopt;
        at_ += 4;
        return platform::ReadU32(bytes_, at_ - 4);
    }

    bool Skip(std::size_t count)
    {
        if (bytes_.size() - at_ < count)
            return false;
        at_ += count;
        return true;
    }

    // A count of 32-bit values that must all be there.
    bool Dates(std::vector<std::uint32_t>& dates)
    {
        const std::optional<std::uint32_t> count = U32();
        if (!count || *count > (bytes_.size() - at_) / 4)
            return false;
        dates.reserve(*count);
        for (std::uint32_t i = 0; i < *count; ++i)
            dates.push_back(*U32());
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// The octets of the pattern-type fields, or none for a type whose fields are unknown.
std::optional<std::size_t> PatternFieldSize(std::uint16_t patternType)
{
    switch (patternType) {
    case kPatternDay:
        return 0;
    case kPatternWeek:
    case kPatternMonth:
    case kPatternMonthEnd:
    case 0x000A:  // Hijri month
    case 0x000C:  // Hijri month end
        return 4;
    case kPatternMonthNth:
    case 0x000B:  // Hijri n-th
        return 8;
    default:
        return std::nullopt;
    }
}

bool ReadPatternFields(Reader& reader, RecurrencePattern& pattern)
{
    const std::optional<std::size_t> size = PatternFieldSize(pattern.patternType);
    if (!size)
        return false;
    std::optional<std::uint32_t> first = 0;
    std::optional<std::uint32_t> second = 0;
    if (*size >= 4)
        first = reader.U32();
    if (*size == 8)
        second = reader.U32();
    if (!first || !second)
        return false;
    if (pattern.patternType == kPatternWeek || *size == 8)
        pattern.dayMask = *first;
    else
        pattern.dayOfMonth = *first;
    pattern.nth = *second;
    return true;
}

bool ReadException(Reader& reader, RecurrenceException& exception)
{
    const std::optional<std::uint32_t> start = reader.U32();
    const std::optional<std::uint32_t> end = reader.U32();
    const std::optional<std::uint32_t> original = reader.U32();
    const std::optional<std::uint16_t> flags = reader.U16();
    if (!start || !end || !original || !flags)
        return false;
    exception = {*start, *end, *original, *flags};
    for (const OverrideField& field : kOverrideFields) {
        if ((*flags & field.flag) == 0)
            continue;
        if (!field.text) {
            if (!reader.Skip(4))
                return false;
            continue;
        }
        const std::optional<std::uint16_t> lengthPlusOne = reader.U16();
        const std::optional<std::uint16_t> length = reader.U16();
        if (!lengthPlusOne || !length || !reader.Skip(*length))
            return false;
    }
    return true;
}

void ReadExtension(Reader& reader, RecurrencePattern& pattern)
{
    const std::optional<std::uint32_t> readerVersion = reader.U32();
    const std::optional<std::uint32_t> writerVersion = reader.U32();
    const std::optional<std::uint32_t> startOffset = reader.U32();
    const std::optional<std::uint32_t> endOffset = reader.U32();
    const std::optional<std::uint16_t> count = reader.U16();
    if (!readerVersion || !writerVersion || !startOffset || !endOffset || !count)
        return;
    pattern.hasExtension = true;
    pattern.startTimeOffset = *startOffset;
    pattern.endTimeOffset = *endOffset;
    for (std::uint16_t i = 0; i < *count; ++i) {
        RecurrenceException exception;
        if (!ReadException(reader, exception)) {
            pattern.exceptionsComplete = false;
            return;
        }
        pattern.exceptions.push_back(exception);
    }
}

} // namespace

HRESULT ReadRecurrencePattern(std::span<const std::uint8_t> bytes, RecurrencePattern& pattern)
{
    pattern = RecurrencePattern();
    if (bytes.size() < kShortestPattern)
        return E_INVALIDARG;
    Reader reader(bytes);
    reader.Skip(4);
    pattern.frequency = *reader.U16();
    pattern.patternType = *reader.U16();
    pattern.calendarType = *reader.U16();
    pattern.firstDateTime = *reader.U32();
    pattern.period = *reader.U32();
    reader.Skip(4);
    if (!ReadPatternFields(reader, pattern))
        return E_INVALIDARG;
    const std::optional<std::uint32_t> endType = reader.U32();
    const std::optional<std::uint32_t> count = reader.U32();
    const std::optional<std::uint32_t> firstDay = reader.U32();
    if (!endType || !count || !firstDay)
        return E_INVALIDARG;
    pattern.endType = *endType;
    pattern.occurrenceCount = *count;
    pattern.firstDayOfWeek = *firstDay;
    if (!reader.Dates(pattern.deletedDates) || !reader.Dates(pattern.modifiedDates))
        return E_INVALIDARG;
    const std::optional<std::uint32_t> startDate = reader.U32();
    const std::optional<std::uint32_t> endDate = reader.U32();
    if (!startDate || !endDate)
        return E_INVALIDARG;
    pattern.startDate = *startDate;
    pattern.endDate = *endDate;
    ReadExtension(reader, pattern);
    return S_OK;
}

} // namespace mmconv
