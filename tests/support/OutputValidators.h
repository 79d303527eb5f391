// Runs the independent output validators (tests/validators/validate.py) from a test: the verdict
// on a converted message, calendar, card or report, and the listings (parts, recurrences, group
// members) that a test compares with its source. Link the test_validators target.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace testsupport {

// What to check; each is a command of validate.py (README.md beside it says what each enforces).
enum class OutputCheck {
    Message,    // "message": MIME, then every part by its content type (TNEF, calendar, card, group, report)
    Mime,       // "mime": GMime strict, Python's email package, our own MIME rules, cid: references
    Tnef,       // "tnef": tnef (strict) and ytnef on every application/ms-tnef part or a bare stream
    ICalendar,  // "ical": libical with its restriction check, Python's icalendar, our own rules
    VCard,      // "vcard": vobject and the vCard 2.1 rules
    VGroup,     // "vgroup": the VGROUP structure
    Report,     // "report": multipart/report with its delivery-status or disposition-notification
};

struct ValidatorProblem {
    std::string location;  // the file (or the name given to ValidateBytes), "#" and a part number when in a part
    std::string checker;   // gmime, email, mime, cid, tnef, ytnef, libical, icalendar, ical, vobject, vcard, ...
    std::string message;
};

struct ValidatorVerdict {
    bool ran = false;    // false when a reader is missing or the validator could not run: see `errors`
    bool valid = false;  // it ran and found no problem
    int exitCode = -1;   // 0 valid, 1 problems, 2 usage or unreadable input, 3 a reader is missing,
                         // 4 the validator itself failed
    std::string output;  // standard output (JSON)
    std::string errors;  // standard error
    std::vector<ValidatorProblem> problems;

    // The problems except those seen by the named checkers (ytnef rejects some valid large streams).
    std::vector<ValidatorProblem> ProblemsExcept(std::initializer_list<std::string_view> checkers) const;
    // One "LOCATION: CHECKER: MESSAGE" line per problem, or why the validator did not run.
    std::string Describe() const;
};

ValidatorVerdict ValidateFile(OutputCheck check, const std::string& path);
// Checks several files in one run of the validator; each problem's location names its file.
ValidatorVerdict ValidateFiles(OutputCheck check, const std::vector<std::string>& paths);
// Writes `bytes` to a temporary file named `fileName` and checks it; locations name `fileName`.
ValidatorVerdict ValidateBytes(OutputCheck check, std::string_view bytes, const std::string& fileName = "output.eml");

struct ValidatorListing {
    bool ok = false;          // the listing was made; otherwise `error` says why
    std::string error;
    nlohmann::json document;  // the JSON document validate.py printed (README.md shows its shape)
};

// validate.py parts: messages with their bodies, every part with its SHA-256 and size, cid: references.
ValidatorListing ListParts(const std::string& path);
// validate.py expand: the occurrences of every recurring component, at most `count` each, none after
// `until` (empty: no bound; "2024-12-31", a local "2024-12-31T18:00:00" or a UTC "...Z").
ValidatorListing ExpandRecurrences(const std::string& path, int count = 100, const std::string& until = {});
// validate.py members: every VGROUP with its members.
ValidatorListing ListGroupMembers(const std::string& path);

// Empty when every reader that the check needs is installed; otherwise what is missing and the
// package that brings it.
std::string MissingValidators(OutputCheck check);
// The same for a validate.py command by name ("parts", "expand", "members", or a check's name).
std::string MissingValidators(const std::string& command);

} // namespace testsupport

// Skips the current test, with the reason, when a reader that `check` needs is not installed.
#define EX2QLN_SKIP_WITHOUT_VALIDATORS(check)                                        \
    do {                                                                             \
        const std::string ex2qlnMissingValidators = ::testsupport::MissingValidators(check); \
        if (!ex2qlnMissingValidators.empty())                                        \
            GTEST_SKIP() << ex2qlnMissingValidators;                                 \
    } while (false)
