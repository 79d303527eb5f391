// The occurrences that a stored recurrence pattern means, worked out day by day from the published
// layout and the client's rules, without the converter's code: what the converted rule, expanded by
// an independent reader, must give back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

struct ReferenceOccurrences {
    bool ok = false;                   // the pattern could be read
    std::vector<std::string> starts;   // local "2009-10-05T09:00:00" (a date "2009-10-05" when allDay)
    bool truncated = false;            // more follow after `limit`
};

// The series' first `limit` occurrences in local time: the rule's occurrences (a day past the end of a
// shorter month falls on its last day) without the deleted ones, and the changed ones at their new
// start. Task patterns (no appointment extension) start at midnight.
ReferenceOccurrences ExpandStoredPattern(std::span<const std::uint8_t> pattern, std::size_t limit, bool allDay);

} // namespace testsupport
