#!/usr/bin/python3
"""Independent checks of the converter's output: MIME, TNEF, iCalendar, vCard 2.1, VGROUP and reports.

Checks (one line per problem, "LOCATION: CHECKER: MESSAGE", or JSON with --json):
  validate.py [--gmime-strict PATH] message|mime|tnef|ical|vcard|vgroup|report [--json] FILE...
Listings (JSON on standard output):
  validate.py parts FILE                                   every part, body and cid: reference
  validate.py expand [--count N] [--until WHEN] FILE       occurrences of every recurring component
  validate.py members FILE                                 the members of every VGROUP
Dependencies:
  validate.py [--gmime-strict PATH] deps [COMMAND...]

Exit status: 0 no problem, 1 problems found, 2 usage or unreadable input, 3 a reader is missing,
4 the validator itself failed (traceback on standard error).
See README.md beside this script.
"""

import argparse
import json
import os
import sys
import traceback

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from checks import deps, mimeparts  # noqa: E402
from checks.findings import Findings, locate  # noqa: E402

EXIT_OK, EXIT_PROBLEMS, EXIT_USAGE, EXIT_MISSING, EXIT_BROKEN = 0, 1, 2, 3, 4
CHECKS = ("message", "mime", "tnef", "ical", "vcard", "vgroup", "report")
TNEF_TYPES = ("application/ms-tnef", "application/vnd.ms-tnef")
CALENDAR_TYPES = ("text/calendar",)
VCARD_TYPES = ("text/x-vcard", "text/vcard", "text/directory")
VGROUP_TYPES = ("text/x-vgroup",)


class InputError(Exception):
    pass


def read_input(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError as error:
        raise InputError(f"{path}: cannot read: {error.strerror}") from None


def starts_with(data, text):
    return data.lstrip(b"\xef\xbb\xbf \t\r\n")[:len(text)].upper() == text


# --- one check per kind, on a bare body or on every matching part of a message ------------------

def _each_body(path, data, findings, types, bare_begin, check_one, required=True):
    """Runs `check_one(location, bytes, entity or None)` on the bare body or each part of `types`."""
    if bare_begin is not None and starts_with(data, bare_begin):
        check_one(path, data, None)
        return
    parts = mimeparts.leaves_of_types(mimeparts.tree(mimeparts.parse_bytes(data)), types)
    if not parts and required:
        findings.add(path, "input", f"no {' or '.join(types)} part")
    for entity in parts:
        if entity.part.get_content_maintype() != "text":
            check_one(locate(path, entity.section), mimeparts.decoded_bytes(entity), entity)
            continue
        body = mimeparts.text_as_utf8(entity)
        # The CRLF before a boundary belongs to the boundary (RFC 2046 5.1.1), so a text part's
        # last line may end there.
        check_one(locate(path, entity.section), body if body.endswith(b"\r\n") else body + b"\r\n", entity)


def check_tnef(path, data, findings, required=True):
    from checks import tnef
    if tnef.is_tnef(data):
        tnef.check_stream(path, data, findings)
        return
    _each_body(path, data, findings, TNEF_TYPES, None,
               lambda where, body, entity: tnef.check_stream(where, body, findings), required)


def check_ical(path, data, findings, required=True):
    from checks import ical

    def one(where, body, entity):
        method = entity.part.get_param("method") if entity is not None else None
        ical.check(where, body, findings, str(method) if method is not None else None)
    _each_body(path, data, findings, CALENDAR_TYPES, b"BEGIN:VCALENDAR", one, required)


def check_vcard(path, data, findings, required=True):
    from checks import vcard
    _each_body(path, data, findings, VCARD_TYPES, b"BEGIN:VCARD",
               lambda where, body, entity: vcard.check(where, body, findings), required)


def check_vgroup(path, data, findings, required=True):
    from checks import vgroup
    _each_body(path, data, findings, VGROUP_TYPES, b"BEGIN:VGROUP",
               lambda where, body, entity: vgroup.check(where, body, findings), required)


def check_report(path, data, findings, required=True):
    from checks import reports
    reports.check(path, data, findings, required)


def check_mime(path, data, findings, harness):
    from checks import mime
    mime.check(path, data, findings, harness)


BARE_BODIES = ((b"BEGIN:VCALENDAR", "ical"), (b"BEGIN:VCARD", "vcard"), (b"BEGIN:VGROUP", "vgroup"))


def check_message(path, data, findings, harness):
    """Everything: the MIME checks and each part by its content type; a bare body by its kind."""
    from checks import tnef
    bare = "tnef" if tnef.is_tnef(data) else next((kind for begin, kind in BARE_BODIES if starts_with(data, begin)), None)
    if bare is not None:
        CHECK_BY_KIND[bare](path, data, findings)
        return
    check_mime(path, data, findings, harness)
    for check in (check_tnef, check_ical, check_vcard, check_vgroup, check_report):
        check(path, data, findings, required=False)


CHECK_BY_KIND = {"tnef": check_tnef, "ical": check_ical, "vcard": check_vcard, "vgroup": check_vgroup,
                 "report": check_report}


def run_check(command, paths, harness):
    findings = Findings()
    for path in paths:
        data = read_input(path)
        if command in ("message", "mime"):
            (check_message if command == "message" else check_mime)(path, data, findings, harness)
        else:
            CHECK_BY_KIND[command](path, data, findings)
    return findings


# --- listings ------------------------------------------------------------------------------------

def list_parts(path):
    from checks import inventory
    listing = inventory.listing(path, read_input(path))
    listing["problems"] = []
    return listing


def _calendar_bodies(path, data, findings):
    bodies = []
    _each_body(path, data, findings, CALENDAR_TYPES, b"BEGIN:VCALENDAR",
               lambda where, body, entity: bodies.append((where, body)))
    return bodies


def expand(path, count, until):
    from checks import ical, icaltime, recurrence
    findings = Findings()
    components = []
    for where, body in _calendar_bodies(path, read_input(path), findings):
        calendars = ical.read(body, where, Findings())  # line problems are the ical check's business
        zones = icaltime.Zones(calendars)
        for block in recurrence.components(calendars):
            if not recurrence.is_recurring(block):
                continue
            try:
                entry = recurrence.expansion(block, calendars, zones, count, until)
            except ValueError as error:
                findings.add(where, "recurrence", f"{block.name} on line {block.begin}: {error}")
                continue
            entry["location"] = where
            components.append(entry)
    return {"file": path, "components": components,
            "problems": [p.as_json() for p in findings.problems]}


def list_members(path):
    from checks import vgroup
    findings = Findings()
    groups = []
    data = read_input(path)
    _each_body(path, data, findings, VGROUP_TYPES, b"BEGIN:VGROUP",
               lambda where, body, entity: groups.extend(vgroup.listing(where, body, findings)))
    return {"file": path, "groups": groups, "problems": [p.as_json() for p in findings.problems]}


# --- the command line ----------------------------------------------------------------------------

def _positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


def _add_common(parser, default, json_default):
    """Options accepted before and after the command (a subcommand's own default must not hide
    the value given before it)."""
    parser.add_argument("--gmime-strict", default=default,
                        help="the GMime strict harness program (default: $EX2QLN_GMIME_STRICT)")
    parser.add_argument("--json", action="store_true", default=json_default, help="print the verdict as JSON")


def parser():
    main = argparse.ArgumentParser(prog="validate.py", description=__doc__.split("\n")[0])
    _add_common(main, default=os.environ.get("EX2QLN_GMIME_STRICT", ""), json_default=False)
    commands = main.add_subparsers(dest="command", required=True)
    for name in CHECKS:
        check = commands.add_parser(name, help=f"check FILEs ({name})")
        _add_common(check, default=argparse.SUPPRESS, json_default=argparse.SUPPRESS)
        check.add_argument("files", nargs="+", metavar="FILE")
    commands.add_parser("parts", help="JSON listing of a message's parts").add_argument("file", metavar="FILE")
    expansion = commands.add_parser("expand", help="JSON occurrences of recurring components")
    expansion.add_argument("--count", type=_positive, default=100, help="at most this many occurrences each (100)")
    expansion.add_argument("--until", help="no occurrence after this DATE, local DATE-TIME or UTC DATE-TIME "
                           "(2024-12-31, 2024-12-31T18:00:00, 2024-12-31T17:00:00Z)")
    expansion.add_argument("file", metavar="FILE")
    commands.add_parser("members", help="JSON listing of VGROUP members").add_argument("file", metavar="FILE")
    dependencies = commands.add_parser("deps", help="say which readers are installed")
    dependencies.add_argument("needed_by", nargs="*", metavar="COMMAND",
                              help="only the readers these commands need")
    return main


def report_dependencies(commands, harness):
    absent = deps.missing(commands or list(deps.NEEDS), harness)
    for name, install in absent:
        print(f"missing: {name}: {install}")
    if not absent:
        print("all readers are installed")
    return EXIT_MISSING if absent else EXIT_OK


def emit_listing(document):
    json.dump(document, sys.stdout, indent=2, ensure_ascii=False)
    print()
    return EXIT_PROBLEMS if document["problems"] else EXIT_OK


def emit_findings(findings, as_json):
    if as_json:
        json.dump({"valid": not findings.problems, "problems": [p.as_json() for p in findings.problems],
                   "checked": findings.checked}, sys.stdout, indent=2, ensure_ascii=False)
        print()
    else:
        for problem in findings.problems:
            print(problem.line())
    return EXIT_PROBLEMS if findings.problems else EXIT_OK


def main(argv):
    command_line = parser()
    arguments = command_line.parse_args(argv)
    if arguments.command == "deps":
        unknown = [name for name in arguments.needed_by if name not in deps.NEEDS]
        if unknown:
            command_line.error(f"unknown command {unknown[0]!r} (choose from {', '.join(deps.NEEDS)})")
        return report_dependencies(arguments.needed_by, arguments.gmime_strict)
    absent = deps.missing([arguments.command], arguments.gmime_strict)
    if absent:
        for name, install in absent:
            print(f"validate.py: {name} is missing: {install}", file=sys.stderr)
        return EXIT_MISSING
    try:
        if arguments.command == "parts":
            return emit_listing(list_parts(arguments.file))
        if arguments.command == "expand":
            return emit_listing(expand(arguments.file, arguments.count, arguments.until))
        if arguments.command == "members":
            return emit_listing(list_members(arguments.file))
        return emit_findings(run_check(arguments.command, arguments.files, arguments.gmime_strict), arguments.json)
    except InputError as error:
        print(f"validate.py: {error}", file=sys.stderr)
        return EXIT_USAGE
    except Exception:  # a fault of the validator itself must not pass for a verdict on the input
        traceback.print_exc()
        print("validate.py: internal error, no verdict", file=sys.stderr)
        return EXIT_BROKEN


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
