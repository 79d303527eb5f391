"""Recurrence sets of iCalendar components expanded with python-dateutil (RFC 5545 3.8.5).

A recurring component (RRULE or RDATE) expands in its DTSTART's zone, so that occurrences keep
their local time across daylight-saving changes; EXDATE removes occurrences and DTSTART always
counts as the first one. Components with a RECURRENCE-ID and the same UID are overrides.
"""

import datetime

from dateutil import rrule

from . import icaltime

RECURRING_COMPONENTS = ("VEVENT", "VTODO", "VJOURNAL")


class RecurrenceError(ValueError):
    pass


def _rule(text, dtstart):
    try:
        return rrule.rrulestr(text, dtstart=dtstart)
    except (ValueError, TypeError) as error:
        raise RecurrenceError(f"RRULE {text!r} cannot be expanded: {error}") from None


def _same_form(value, dtstart, name):
    """EXDATE and RDATE values as datetimes comparable with DTSTART's."""
    value = icaltime.as_datetime(value)
    if (value.tzinfo is None) != (dtstart.tzinfo is None):
        raise RecurrenceError(f"{name} value {value.isoformat()} is "
                              f"{'floating' if value.tzinfo is None else 'zoned'} but DTSTART is not")
    return value


class Series:
    """One recurring component: its rules, exclusions and the set they make."""

    def __init__(self, block, zones):
        self.block = block
        start_line = block.first("DTSTART")
        if start_line is None:
            raise RecurrenceError(f"recurring {block.name} has no DTSTART")
        self.start_value = icaltime.value_of(start_line, zones)
        self.all_day = icaltime.is_date(self.start_value)
        self.tzid = start_line.param("TZID")
        self.dtstart = icaltime.as_datetime(self.start_value)
        self.rules = [_rule(line.value, self.dtstart) for line in block.all("RRULE")]
        self.exdates = [_same_form(v, self.dtstart, "EXDATE")
                        for line in block.all("EXDATE") for v in icaltime.values_of(line, zones)]
        self.rdates = [_same_form(v, self.dtstart, "RDATE")
                       for line in block.all("RDATE") for v in icaltime.values_of(line, zones)]
        self.set = rrule.rruleset()
        for rule in self.rules:
            self.set.rrule(rule)
        for value in [self.dtstart] + self.rdates:
            self.set.rdate(value)
        for value in self.exdates:
            self.set.exdate(value)

    def rule_matches(self, moment):
        """Whether one of the RRULEs (exclusions aside) produces `moment`."""
        return any(_occurs(rule, moment) for rule in self.rules)

    def occurrences(self, count, until):
        """Up to `count` occurrences not after `until` (None: no bound), and whether more follow."""
        found = []
        for moment in self.set:
            if len(found) >= count or (until is not None and _after(moment, until)):
                return found, True
            found.append(moment)
        return found, False

    def describe(self, moment):
        return icaltime.describe(moment.date() if self.all_day else moment)


def _occurs(rule, moment):
    try:
        return moment in rule
    except TypeError:  # naive against aware: a form mismatch, reported elsewhere
        return False


def _after(moment, until):
    if (moment.tzinfo is None) != (until.tzinfo is None):
        until = until.replace(tzinfo=moment.tzinfo) if until.tzinfo is None else until.replace(tzinfo=None)
    return moment > until


def is_recurring(block):
    return block.name in RECURRING_COMPONENTS and (block.first("RRULE") or block.first("RDATE")) \
        and block.first("RECURRENCE-ID") is None


def components(calendars):
    """Every component of the calendars (nested ones included), in order."""
    return [block for calendar in calendars for block in calendar.walk()]


def overrides_of(block, calendars):
    uid = block.first("UID")
    if uid is None:
        return []
    return [other for other in components(calendars)
            if other is not block and other.name == block.name and other.first("RECURRENCE-ID") is not None
            and other.first("UID") is not None and other.first("UID").value == uid.value]


def parse_until(text, series):
    """--until as DATE, local DATE-TIME in the series' zone, or UTC DATE-TIME with Z."""
    text = text.replace("-", "").replace(":", "")
    value = icaltime.parse_one(text, None)
    if icaltime.is_date(value):
        value = datetime.datetime.combine(value, datetime.time(23, 59, 59))
    if value.tzinfo is None and series.dtstart.tzinfo is not None:
        value = value.replace(tzinfo=series.dtstart.tzinfo)
    return value


def expansion(block, calendars, zones, count, until_text):
    """The JSON form of one recurring component's occurrences."""
    series = Series(block, zones)
    until = parse_until(until_text, series) if until_text else None
    found, truncated = series.occurrences(count, until)
    overrides = []
    for other in overrides_of(block, calendars):
        entry = {"recurrence_id": icaltime.describe(icaltime.value_of(other.first("RECURRENCE-ID"), zones))}
        start = other.first("DTSTART")
        entry["dtstart"] = icaltime.describe(icaltime.value_of(start, zones)) if start is not None else None
        overrides.append(entry)
    return {
        "component": block.name,
        "line": block.begin,
        "uid": block.value("UID"),
        "summary": block.value("SUMMARY"),
        "tzid": series.tzid,
        "all_day": series.all_day,
        "dtstart": icaltime.describe(series.start_value),
        "rrule": [line.value for line in block.all("RRULE")],
        "exdate": [series.describe(v) for v in series.exdates],
        "rdate": [series.describe(v) for v in series.rdates],
        "occurrences": [series.describe(moment) for moment in found],
        "truncated": truncated,
        "overrides": overrides,
    }
