"""iCalendar bodies (RFC 5545, iTIP methods of RFC 5546).

Readers: libical (through GObject introspection) must parse the text, leave no X-LIC-ERROR
property anywhere and pass icalrestriction_check, which adds X-LIC-ERROR properties for every
broken METHOD rule; Python's icalendar package must parse it without errors. Our own checks add
what both let pass: CRLF and folding at 75 octets without splitting a UTF-8 character, required
properties, date-time forms, a VTIMEZONE for every TZID, DTEND/DUE after DTSTART, and recurrence
sets that python-dateutil can expand, whose DTSTART, EXDATEs and overrides fall on the rule.
"""

from . import contentlines, icaltime, recurrence

UTC_ONLY = ("DTSTAMP", "CREATED", "LAST-MODIFIED", "COMPLETED")
DATE_PROPERTIES = ("DTSTART", "DTEND", "DUE", "RECURRENCE-ID", "EXDATE", "RDATE") + UTC_ONLY
ONCE_PER_COMPONENT = ("UID", "DTSTAMP", "DTSTART", "DTEND", "DUE", "DURATION", "RECURRENCE-ID",
                      "SEQUENCE", "SUMMARY", "CLASS", "CREATED", "LAST-MODIFIED", "ORGANIZER",
                      "STATUS", "TRANSP", "PRIORITY", "LOCATION", "DESCRIPTION")


def read(data, where, findings):
    return contentlines.read_folded_utf8(data, where, "ical", findings)


def check(where, data, findings, mime_method=None):
    calendars = read(data, where, findings)
    if not any(block.name == "VCALENDAR" for block in calendars):
        findings.add(where, "ical", "no BEGIN:VCALENDAR ... END:VCALENDAR")
    for block in calendars:
        if block.name != "VCALENDAR":
            findings.add(where, "ical", f"line {block.begin}: {block.name} outside VCALENDAR")
    text = data.decode("utf-8", "replace")
    check_with_libical(where, text, findings)
    check_with_icalendar(where, data, findings)
    zones = icaltime.Zones(calendars)
    for tzid, why in zones.errors:
        findings.add(where, "ical", f"VTIMEZONE {tzid!r} cannot be read: {why}")
    for calendar in calendars:
        if calendar.name == "VCALENDAR":
            _check_calendar(where, calendar, calendars, zones, findings, mime_method)
    findings.note_checked(where, "ical")


# --- libical -------------------------------------------------------------------------------------

def _libical():
    import gi
    gi.require_version("ICalGLib", "3.0")
    from gi.repository import ICalGLib
    return ICalGLib


def _components(component, ical):
    yield component
    child = component.get_first_component(ical.ComponentKind.ANY_COMPONENT)
    while child is not None:
        yield from _components(child, ical)
        child = component.get_next_component(ical.ComponentKind.ANY_COMPONENT)


def check_with_libical(where, text, findings):
    ical = _libical()
    try:
        root = ical.Component.new_from_string(text)
    except TypeError:
        root = None
    if root is None:
        findings.add(where, "libical", "libical cannot parse the text")
        return
    for component in list(_components(root, ical)):
        if component.isa() == ical.ComponentKind.VCALENDAR_COMPONENT:
            ical.restriction_check(component)
    for component in _components(root, ical):
        error = component.get_first_property(ical.PropertyKind.XLICERROR_PROPERTY)
        while error is not None:
            kind_parameter = error.get_first_parameter(ical.ParameterKind.XLICERRORTYPE_PARAMETER)
            kind = kind_parameter.as_ical_string().partition("=")[2] if kind_parameter is not None else "ERROR"
            name = ical.Component.kind_to_string(component.isa())
            findings.add(where, "libical", f"{name}: {kind}: {error.get_xlicerror()}")
            error = component.get_next_property(ical.PropertyKind.XLICERROR_PROPERTY)


# --- Python's icalendar --------------------------------------------------------------------------

def check_with_icalendar(where, data, findings):
    import icalendar
    try:
        calendar = icalendar.Calendar.from_ical(data)
    except Exception as error:  # the package raises whatever its value parsers raise
        findings.add(where, "icalendar", f"cannot parse: {str(error)[:200]}")
        return
    for component in calendar.walk():
        for name, why in component.errors:
            findings.add(where, "icalendar", f"{component.name}: {name or 'component'}: {why}")


# --- our own checks ------------------------------------------------------------------------------

def _check_calendar(where, calendar, calendars, zones, findings, mime_method):
    versions = calendar.all("VERSION")
    if [line.value for line in versions] != ["2.0"]:
        findings.add(where, "ical", f"VCALENDAR needs exactly one VERSION:2.0, has {[l.value for l in versions]}")
    if len(calendar.all("PRODID")) != 1:
        findings.add(where, "ical", f"VCALENDAR needs exactly one PRODID, has {len(calendar.all('PRODID'))}")
    method = calendar.first("METHOD")
    if mime_method is not None and (method is None or method.value.upper() != mime_method.upper()):
        findings.add(where, "ical", f"the MIME method parameter {mime_method!r} differs from METHOD "
                     f"{method.value if method else None!r} (RFC 6047 2.4)")
    for block in calendar.walk():
        _check_tzids(where, block, zones, findings)
        if block.name in recurrence.RECURRING_COMPONENTS:
            _check_component(where, block, zones, findings)
            if recurrence.is_recurring(block):
                _check_recurrence(where, block, calendars, zones, findings)


def _check_tzids(where, block, zones, findings):
    for line in block.lines:
        tzid = line.param("TZID")
        if tzid is not None and tzid not in zones.defined and not any(tzid == t for t, _ in zones.errors):
            findings.add(where, "ical", f"line {line.number}: TZID {tzid!r} has no VTIMEZONE in the calendar "
                         "(RFC 5545 3.2.19)")


def _check_component(where, block, zones, findings):
    here = f"{block.name} on line {block.begin}"
    for name in ("UID", "DTSTAMP"):
        if block.first(name) is None:
            findings.add(where, "ical", f"{here} has no {name} (RFC 5545 3.6)")
    for name in ONCE_PER_COMPONENT:
        if name == "DESCRIPTION" and block.name == "VJOURNAL":
            continue  # a journal entry may have several (RFC 5545 3.6.3)
        if len(block.all(name)) > 1:
            findings.add(where, "ical", f"{here} has {name} {len(block.all(name))} times")
    values = {}
    for line in block.lines:
        if line.name not in DATE_PROPERTIES:
            continue
        try:
            parsed = icaltime.values_of(line, zones)
        except icaltime.UnknownZone:
            continue  # reported once per line by _check_tzids
        except ValueError as error:
            findings.add(where, "ical", f"line {line.number}: {line.name}: {error}")
            continue
        if line.name in UTC_ONLY and any(icaltime.is_date(v) or v.tzinfo is not icaltime.UTC for v in parsed):
            findings.add(where, "ical", f"line {line.number}: {line.name} must be a UTC DATE-TIME (RFC 5545 3.8.7)")
        values.setdefault(line.name, parsed[0])
    if block.first("DTEND") is not None and block.first("DURATION") is not None:
        findings.add(where, "ical", f"{here} has both DTEND and DURATION (RFC 5545 3.6.1)")
    start = values.get("DTSTART")
    for name in ("DTEND", "DUE"):
        if start is not None and name in values:
            _check_order(where, here, start, name, values[name], findings)


def _check_order(where, here, start, name, end, findings):
    if icaltime.is_date(start) != icaltime.is_date(end):
        findings.add(where, "ical", f"{here}: {name} and DTSTART differ in value type (DATE against DATE-TIME)")
        return
    try:
        later = end > start
    except TypeError:
        findings.add(where, "ical", f"{here}: {name} and DTSTART mix floating and zoned times")
        return
    if not later:
        findings.add(where, "ical", f"{here}: {name} {end.isoformat()} is not later than DTSTART {start.isoformat()} "
                     "(RFC 5545 3.8.2.2, 3.8.2.3)")


def _check_recurrence(where, block, calendars, zones, findings):
    here = f"{block.name} on line {block.begin}"
    try:
        series = recurrence.Series(block, zones)
    except icaltime.UnknownZone:
        return
    except ValueError as error:
        findings.add(where, "ical", f"{here}: {error}")
        return
    if series.rules and not series.rule_matches(series.dtstart):
        findings.add(where, "ical", f"{here}: DTSTART {series.dtstart.isoformat()} is not an occurrence of its "
                     "RRULE (RFC 5545 3.8.5.3 leaves that set undefined)")
    if series.rules:
        for value in series.exdates:
            if not series.rule_matches(value):
                findings.add(where, "ical", f"{here}: EXDATE {value.isoformat()} excludes no occurrence of the RRULE")
    for other in recurrence.overrides_of(block, calendars):
        line = other.first("RECURRENCE-ID")
        try:
            moment = icaltime.as_datetime(icaltime.value_of(line, zones))
        except ValueError:
            continue  # reported with the component's own dates
        if not _is_occurrence(series, moment):
            findings.add(where, "ical", f"line {line.number}: RECURRENCE-ID {moment.isoformat()} is no occurrence "
                         f"of the series on line {block.begin}")


def _is_occurrence(series, moment):
    try:
        return series.rule_matches(moment) or moment == series.dtstart or moment in series.rdates
    except TypeError:
        return False
