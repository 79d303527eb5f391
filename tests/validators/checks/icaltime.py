"""iCalendar dates, date-times and time zones (RFC 5545 3.3.4, 3.3.5, 3.6.5).

Time zones come from the calendar's own VTIMEZONE components (read by python-dateutil's tzical),
else from the system's zone database when a TZID is an IANA name.
"""

import datetime
import io
import re
import zoneinfo

from dateutil import tz

UTC = datetime.timezone.utc
_DATE = re.compile(r"^(\d{4})(\d{2})(\d{2})$")
_DATE_TIME = re.compile(r"^(\d{4})(\d{2})(\d{2})T(\d{2})(\d{2})(\d{2})(Z?)$")
# tzical reads only these; X- properties and the like carry no rule.
_VTIMEZONE_PROPERTIES = {"BEGIN", "END", "TZID", "TZURL", "LAST-MODIFIED", "COMMENT", "DTSTART",
                         "RRULE", "RDATE", "EXRULE", "EXDATE", "TZOFFSETFROM", "TZOFFSETTO", "TZNAME"}


def _serialise(block):
    lines = [f"BEGIN:{block.name}"]
    for line in block.lines:
        if line.name in _VTIMEZONE_PROPERTIES:
            params = "".join(f";{key}={value}" if value is not None else f";{key}" for key, value in line.params)
            lines.append(f"{line.name}{params}:{line.value}")
    for child in block.children:
        lines.extend(_serialise(child))
    lines.append(f"END:{block.name}")
    return lines


class UnknownZone(ValueError):
    pass


class Zones:
    """TZID -> tzinfo for one calendar."""

    def __init__(self, calendar_blocks):
        self.defined = {}
        self.errors = []  # (TZID, why its VTIMEZONE cannot be read)
        for calendar in calendar_blocks:
            for block in calendar.walk():
                if block.name != "VTIMEZONE":
                    continue
                tzid_line = block.first("TZID")
                tzid = tzid_line.value if tzid_line is not None else "?"
                try:
                    self.defined[tzid] = tz.tzical(io.StringIO("\r\n".join(_serialise(block)))).get()
                except (ValueError, KeyError, IndexError) as error:
                    self.errors.append((tzid, str(error)))

    def get(self, tzid):
        """The zone for a TZID; ValueError when neither a VTIMEZONE nor the system knows it."""
        if tzid in self.defined:
            return self.defined[tzid]
        try:
            return zoneinfo.ZoneInfo(tzid)
        except (zoneinfo.ZoneInfoNotFoundError, ValueError):
            raise UnknownZone(f"TZID {tzid!r} has no VTIMEZONE and is no known zone name") from None


def _checked(text, kind, fields):
    try:
        return kind(*map(int, fields))
    except ValueError as error:
        raise ValueError(f"{text!r}: {error}") from None


def parse_one(text, zone=None, want_date=None):
    """A DATE (datetime.date) or DATE-TIME (aware when UTC or zoned, naive when floating)."""
    text = text.strip()
    match = _DATE.match(text)
    if match:
        if want_date is False:
            raise ValueError(f"{text!r} is a DATE where a DATE-TIME is expected")
        return _checked(text, datetime.date, match.groups())
    match = _DATE_TIME.match(text)
    if not match:
        raise ValueError(f"{text!r} is neither a DATE nor a DATE-TIME")
    if want_date is True:
        raise ValueError(f"{text!r} is a DATE-TIME where VALUE=DATE says DATE")
    moment = _checked(text, datetime.datetime, match.groups()[:6])
    if match.group(7):
        if zone is not None:
            raise ValueError(f"{text!r} is UTC but has a TZID (RFC 5545 3.3.5)")
        return moment.replace(tzinfo=UTC)
    return moment.replace(tzinfo=zone) if zone is not None else moment


def values_of(line, zones):
    """Every value of a date or date-time property line (EXDATE and RDATE may hold several)."""
    tzid = line.param("TZID")
    zone = zones.get(tzid) if tzid is not None else None
    kind = (line.param("VALUE") or "").upper()
    want_date = True if kind == "DATE" else (False if kind in ("DATE-TIME", "PERIOD") else None)
    values = []
    for item in line.value.split(","):
        start = item.split("/", 1)[0] if kind == "PERIOD" else item
        values.append(parse_one(start, zone, want_date))
    return values


def value_of(line, zones):
    values = values_of(line, zones)
    if len(values) != 1:
        raise ValueError(f"{line.name} holds {len(values)} values, not one")
    return values[0]


def is_date(value):
    return not isinstance(value, datetime.datetime)


def as_datetime(value):
    """A DATE as the naive midnight that starts it; DATE-TIMEs unchanged."""
    return datetime.datetime.combine(value, datetime.time()) if is_date(value) else value


def describe(value):
    """{"local": ISO text in the value's own zone, "utc": ISO text with Z or None when floating or a DATE}."""
    if is_date(value):
        return {"local": value.isoformat(), "utc": None}
    local = value.replace(tzinfo=None).isoformat()
    if value.tzinfo is None:
        return {"local": local, "utc": None}
    utc = value.astimezone(UTC).replace(tzinfo=None).isoformat() + "Z"
    offset = value.utcoffset()
    minutes = int(offset.total_seconds() // 60)
    sign = "+" if minutes >= 0 else "-"
    return {"local": local, "utc": utc, "utc_offset": f"{sign}{abs(minutes) // 60:02d}:{abs(minutes) % 60:02d}"}
