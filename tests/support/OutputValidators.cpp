// validate.py runs under Debian's Python (/usr/bin/python3), where its readers are installed; the
// script and the GMime harness are found by the absolute paths the build gave this file.
#include "tests/support/OutputValidators.h"

#include <algorithm>
#include <chrono>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#ifndef EX2QLN_VALIDATE_SCRIPT
#error "EX2QLN_VALIDATE_SCRIPT is not defined: link the test_validators target"
#endif
#ifndef EX2QLN_GMIME_STRICT
#error "EX2QLN_GMIME_STRICT is not defined: link the test_validators target"
#endif

namespace testsupport {
namespace {

constexpr int kExitMissing = 3;

const char* CommandName(OutputCheck check)
{
    switch (check) {
    case OutputCheck::Message: return "message";
    case OutputCheck::Mime: return "mime";
    case OutputCheck::Tnef: return "tnef";
    case OutputCheck::ICalendar: return "ical";
    case OutputCheck::VCard: return "vcard";
    case OutputCheck::VGroup: return "vgroup";
    case OutputCheck::Report: return "report";
    }
    return "message";
}

ProcessResult RunValidator(std::vector<std::string> arguments)
{
    ProcessRun run;
    run.program = "/usr/bin/python3";
    run.arguments = {EX2QLN_VALIDATE_SCRIPT, "--gmime-strict", EX2QLN_GMIME_STRICT};
    run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
    run.timeout = std::chrono::seconds(300);
    return RunProcess(run);
}

std::string Failure(const ProcessResult& result)
{
    if (result.timedOut)
        return "validate.py did not finish in time";
    if (result.signal != 0)
        return "validate.py was ended by signal " + std::to_string(result.signal);
    return "validate.py exited with " + std::to_string(result.exitCode) + ": " + result.standardError;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

ValidatorVerdict Verdict(const ProcessResult& result, const std::string& path, const std::string& shownAs)
{
    ValidatorVerdict verdict;
    verdict.exitCode = result.exitCode;
    verdict.output = result.standardOutput;
    verdict.errors = result.standardError;
    verdict.ran = !result.timedOut && result.signal == 0 && (result.exitCode == 0 || result.exitCode == 1);
    if (!verdict.ran) {
        if (verdict.errors.empty())
            verdict.errors = Failure(result);
        return verdict;
    }
    nlohmann::json document = nlohmann::json::parse(result.standardOutput, nullptr, false);
    if (document.is_discarded() || !document.contains("problems")) {
        verdict.ran = false;
        verdict.errors = "validate.py printed no verdict: " + result.standardOutput + result.standardError;
        return verdict;
    }
    for (const auto& problem : document["problems"]) {
        verdict.problems.push_back({Replaced(problem.value("location", ""), path, shownAs),
                                    problem.value("checker", ""), problem.value("message", "")});
    }
    verdict.valid = result.exitCode == 0 && verdict.problems.empty();
    return verdict;
}

ValidatorListing Listing(std::vector<std::string> arguments)
{
    ValidatorListing listing;
    ProcessResult result = RunValidator(std::move(arguments));
    if (result.timedOut || result.signal != 0 || (result.exitCode != 0 && result.exitCode != 1)) {
        listing.error = Failure(result);
        return listing;
    }
    listing.document = nlohmann::json::parse(result.standardOutput, nullptr, false);
    if (listing.document.is_discarded()) {
        listing.error = "validate.py printed no JSON: " + result.standardOutput + result.standardError;
        return listing;
    }
    listing.ok = true;
    return listing;
}

} // namespace

std::vector<ValidatorProblem> ValidatorVerdict::ProblemsExcept(std::initializer_list<std::string_view> checkers) const
{
    std::vector<ValidatorProblem> kept;
    for (const ValidatorProblem& problem : problems) {
        if (std::find(checkers.begin(), checkers.end(), problem.checker) == checkers.end())
            kept.push_back(problem);
    }
    return kept;
}

std::string ValidatorVerdict::Describe() const
{
    if (!ran)
        return "the validator did not run (exit " + std::to_string(exitCode) + "): " + errors;
    std::string text;
    for (const ValidatorProblem& problem : problems)
        text += problem.location + ": " + problem.checker + ": " + problem.message + "\n";
    return text.empty() ? "no problem" : text;
}

ValidatorVerdict ValidateFile(OutputCheck check, const std::string& path)
{
    return Verdict(RunValidator({CommandName(check), "--json", path}), path, path);
}

ValidatorVerdict ValidateFiles(OutputCheck check, const std::vector<std::string>& paths)
{
    std::vector<std::string> arguments{CommandName(check), "--json"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const std::string first = paths.empty() ? std::string("-") : paths.front();
    return Verdict(RunValidator(std::move(arguments)), first, first);
}

ValidatorVerdict ValidateBytes(OutputCheck check, std::string_view bytes, const std::string& fileName)
{
    TemporaryDirectory directory;
    const std::string path = directory.File(fileName);
    WriteFile(path, std::string(bytes));
    return Verdict(RunValidator({CommandName(check), "--json", path}), path, fileName);
}

ValidatorListing ListParts(const std::string& path)
{
    return Listing({"parts", path});
}

ValidatorListing ExpandRecurrences(const std::string& path, int count, const std::string& until)
{
    std::vector<std::string> arguments{"expand", "--count", std::to_string(count)};
    if (!until.empty()) {
        arguments.push_back("--until");
        arguments.push_back(until);
    }
    arguments.push_back(path);
    return Listing(std::move(arguments));
}

ValidatorListing ListGroupMembers(const std::string& path)
{
    return Listing({"members", path});
}

std::string MissingValidators(OutputCheck check)
{
    return MissingValidators(std::string(CommandName(check)));
}

std::string MissingValidators(const std::string& command)
{
    ProcessResult result = RunValidator({"deps", command});
    if (result.exitCode == 0)
        return {};
    if (result.exitCode == kExitMissing)
        return "validators for \"" + command + "\" are not installed (scripts/install-deps):\n" + result.standardOutput;
    return "the validators cannot run: " + Failure(result);
}

} // namespace testsupport
