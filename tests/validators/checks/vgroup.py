"""VGROUP bodies (text/x-vgroup): a distribution list written with the iCalendar line rules.

BEGIN:VGROUP, PRODID, VERSION:1.0, NAME, NOTE, UID, REV, CATEGORIES, MEMBER lines
("MEMBER;CN=\"name\":address"), END:VGROUP. Lines are UTF-8, CRLF, folded at 75 octets.
"""

from . import contentlines, icaltime


def read(data, where, findings):
    groups = contentlines.read_folded_utf8(data, where, "vgroup", findings)
    if not groups:
        findings.add(where, "vgroup", "no BEGIN:VGROUP")
    for block in groups:
        if block.name != "VGROUP":
            findings.add(where, "vgroup", f"line {block.begin}: BEGIN:{block.name} where BEGIN:VGROUP is expected")
    return [block for block in groups if block.name == "VGROUP"]


def check(where, data, findings):
    for group in read(data, where, findings):
        _check_group(where, group, findings)
    findings.note_checked(where, "vgroup")


def _check_group(where, group, findings):
    here = f"VGROUP on line {group.begin}"
    versions = [line.value for line in group.all("VERSION")]
    if versions != ["1.0"]:
        findings.add(where, "vgroup", f"{here} needs exactly one VERSION:1.0, has {versions}")
    for name in ("PRODID", "NAME", "UID", "REV"):
        if len(group.all(name)) > 1:
            findings.add(where, "vgroup", f"{here} has {name} {len(group.all(name))} times")
    for block in group.children:
        findings.add(where, "vgroup", f"{here} holds a nested BEGIN:{block.name}")
    rev = group.first("REV")
    if rev is not None:
        try:
            value = icaltime.parse_one(rev.value)
            if icaltime.is_date(value) or value.tzinfo is None:
                raise ValueError("not a UTC date-time")
        except ValueError as error:
            findings.add(where, "vgroup", f"line {rev.number}: REV {rev.value!r}: {error}")
    for line in group.all("MEMBER"):
        if not line.value.strip():
            findings.add(where, "vgroup", f"line {line.number}: MEMBER without an address")
        if line.param("CN") is not None and not line.param("CN").strip():
            findings.add(where, "vgroup", f"line {line.number}: MEMBER with an empty CN")


def listing(where, data, findings):
    """The groups and their members, for tests to compare with the source list."""
    groups = []
    for group in read(data, where, findings):
        groups.append({
            "location": where,
            "line": group.begin,
            "name": group.value("NAME"),
            "uid": group.value("UID"),
            "rev": group.value("REV"),
            "members": [{"line": line.number, "name": line.param("CN"), "address": line.value}
                        for line in group.all("MEMBER")],
        })
    return groups
