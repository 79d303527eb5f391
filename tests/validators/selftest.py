#!/usr/bin/python3
"""Self-tests of validate.py: the valid fixtures pass, and each broken variant is rejected by the
reader meant to catch it. The variants are the fixtures with one fault put in (a table per suite).

Usage: selftest.py SUITE   (a test class below). Exits 77, which ctest counts as skipped, when a
reader that the suite needs is not installed. The GMime harness comes from $EX2QLN_GMIME_STRICT.
"""

import base64
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")
SCRIPT = os.path.join(HERE, "validate.py")
SKIPPED = 77


def validate(*arguments, environment=None):
    result = subprocess.run(["/usr/bin/python3", SCRIPT, *arguments], capture_output=True, timeout=300,
                            env=environment)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def fixture(name):
    with open(os.path.join(FIXTURES, name), "rb") as file:
        return file.read()


def replaced(name, old, new):
    """The fixture with `old` replaced; the variant must differ, or the case would test nothing."""
    data = fixture(name)
    if old not in data:
        raise AssertionError(f"{old!r} is not in {name}")
    return data.replace(old, new)


def _tnef_fixture():
    """tnef.eml's lines, where its Base64 winmail.dat starts and ends, and the stream's bytes."""
    lines = fixture("tnef.eml").split(b"\r\n")
    first = lines.index(b'Content-Disposition: attachment; filename="winmail.dat"') + 2
    last = lines.index(b"", first)
    return lines, first, last, base64.b64decode(b"".join(lines[first:last]))


def winmail_dat():
    return _tnef_fixture()[3]


def tnef_changed(change):
    """tnef.eml with its winmail.dat bytes passed through `change`."""
    lines, first, last, stream = _tnef_fixture()
    text = base64.b64encode(bytes(change(bytearray(stream))))
    return b"\r\n".join(lines[:first] + [text[i:i + 76] for i in range(0, len(text), 76)] + lines[last:])


def wrapped(body, content_type, encoding):
    """A minimal message carrying `body` as its only part."""
    encoded = base64.encodebytes(body) if encoding == "base64" else body
    head = (f"From: a@example.com\r\nDate: Mon, 04 Mar 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
            f"Content-Type: {content_type}\r\nContent-Transfer-Encoding: {encoding}\r\n\r\n")
    return head.encode("ascii") + encoded.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


class ValidatorTest(unittest.TestCase):
    command = None
    needs = ()   # validate.py commands whose readers the suite needs

    def run_on(self, data, name, command=None):
        with tempfile.TemporaryDirectory(prefix="validators-selftest-") as directory:
            path = os.path.join(directory, name)
            with open(path, "wb") as file:
                file.write(data)
            status, output, errors = validate(command or self.command, "--json", path)
        self.assertIn(status, (0, 1), errors)
        document = json.loads(output)
        for problem in document["problems"]:
            problem["location"] = problem["location"].replace(directory, "")
        for entry in document["checked"]:
            entry["location"] = entry["location"].replace(directory, "")
        return status, document

    def assert_rejected(self, data, name, expected):
        status, document = self.run_on(data, name)
        seen = [(p["checker"], p["message"]) for p in document["problems"]]
        self.assertEqual(status, 1, f"accepted: {name}")
        for checker, fragment in expected:
            self.assertTrue(any(c == checker and fragment in m for c, m in seen),
                            f"{checker} did not report {fragment!r}; it reported {seen}")

    def assert_accepted(self, data, name, checked):
        status, document = self.run_on(data, name)
        self.assertEqual((status, document["problems"]), (0, []), name)
        self.assertTrue(document["valid"])
        self.assertEqual(sorted((e["location"], e["check"]) for e in document["checked"]), sorted(checked))

    def check_table(self, cases):
        for label, data, expected in cases:
            with self.subTest(label):
                self.assert_rejected(data, "variant", expected)


class MimeChecks(ValidatorTest):
    command = "mime"
    needs = ("mime",)

    def test_valid_messages_pass(self):
        for name in ("mixed-attachment.eml", "related-html.eml", "embedded-message.eml", "tnef.eml",
                     "meeting-request.eml", "delivery-report.eml", "read-report.eml"):
            with self.subTest(name):
                self.assert_accepted(fixture(name), name, [("/" + name, "mime")])
        # iCalendar's default charset is UTF-8, not MIME's US-ASCII.
        calendar_without_charset = replaced("meeting-request.eml", b'charset="utf-8"; method', b"method")
        self.assert_accepted(calendar_without_charset, "meeting.eml", [("/meeting.eml", "mime")])

    def test_broken_messages_are_rejected(self):
        mixed, related, embedded = "mixed-attachment.eml", "related-html.eml", "embedded-message.eml"
        self.check_table([
            ("bare LF line ends", fixture(mixed).replace(b"\r\n", b"\n"), [("mime", "bare LF")]),
            ("unencoded 8-bit header",
             replaced(mixed, b"=?utf-8?q?Quarterly_figures_=E2=80=93_draft?=", "Quarterly – draft".encode()),
             [("mime", "header Subject holds unencoded 8-bit")]),
            ("missing boundary end", replaced(mixed, b"------=_outer_01--\r\n", b""),
             [("gmime", "TRUNCATED_MESSAGE"), ("email", "CloseBoundaryNotFoundDefect")]),
            ("unresolved cid", replaced(related, b"<logo.png@01DA0001>", b"<other@01DA0001>"),
             [("cid", '"cid:logo.png@01DA0001" names no part with that Content-ID in its multipart/related')]),
            # The outer message has the Content-ID, but an embedded message is a scope of its own.
            ("cid resolving only outside its message",
             replaced(embedded, b"<logo@inner>", b"<logo@elsewhere>").replace(
                 b"Content-Type: text/plain; charset=us-ascii\r\n",
                 b"Content-Type: text/plain; charset=us-ascii\r\nContent-ID: <logo@inner>\r\n"),
             [("cid", '"cid:logo@inner" names no part')]),
            ("bad Base64 padding", replaced(related, b"ElFTkSuQmCC", b"ElFTkSuQmC"), [("email", "InvalidBase64")]),
            ("quoted-printable '=' without hex digits", replaced(mixed, b"J=C3=BCrgen\r\n", b"J=G3rgen\r\n"),
             [("mime", "has '=' without two hex digits")]),
            ("encoded word that is not UTF-8", replaced(mixed, b"J=C3=BCrgen_M=C3=BCller", b"J=FCrgen_M=FCller"),
             [("mime", "does not decode as utf-8"), ("email", "UndecodableBytesDefect")]),
            ("encoded word inside a quoted string",
             replaced(mixed, b'"Smith, Bob"', b'"=?utf-8?q?Smith=2C_Bob?="'), [("mime", "not separated")]),
            ("no From", replaced(mixed, b"From: ", b"X-From: "), [("mime", "has no From field")]),
            ("Subject twice", replaced(mixed, b"Date: ", b"Subject: again\r\nDate: "),
             [("gmime", "CONFLICTING_HEADER"), ("mime", "Subject appears 2 times")]),
            ("invalid address", replaced(mixed, b"To: Ann Example <ann@example.com>, ", b"To: ann@, "),
             [("gmime", "INVALID_ADDRESS_LIST"), ("email", "header To")]),
            ("text in another charset than declared",
             replaced(mixed, b'text/plain; charset="utf-8"', b'text/plain; charset="us-ascii"'),
             [("mime", "does not decode as charset us-ascii")]),
            ("8-bit octets in a 7bit part", replaced(related, b"Our new logo.\r\n", "Unser Logo – neu.\r\n".encode()),
             [("mime", "8-bit or NUL octets in a 7bit body")]),
            ("quoted-printable line over 76", replaced(mixed, b"Gr=C3=BC=C3=9F=\r\n", b"Gr=C3=BC=C3=9F"),
             [("mime", "longer than 76 characters")]),
            ("multipart/related without type", replaced(related, b' type="multipart/alternative";', b""),
             [("mime", "multipart/related has no type parameter")]),
        ])


class TnefChecks(ValidatorTest):
    command = "tnef"
    needs = ("tnef",)

    def test_valid_streams_pass(self):
        self.assert_accepted(fixture("tnef.eml"), "tnef.eml", [("/tnef.eml#2", "tnef")])
        self.assert_accepted(winmail_dat(), "winmail.dat", [("/winmail.dat", "tnef")])

    def test_broken_streams_are_rejected(self):
        def bad_checksum(stream):
            stream[-1] ^= 0x55
            return stream
        self.check_table([
            ("bad checksum", tnef_changed(bad_checksum),
             [("tnef", "invalid checksum"), ("ytnef", "Checksum mismatch")]),
            ("trailing bytes", tnef_changed(lambda stream: stream + b"\0\0\0\0"),
             [("tnef", "garbage at end of file")]),
            ("truncated", tnef_changed(lambda stream: stream[:-20]), [("tnef", "tnef exited with status 1")]),
            ("no signature", tnef_changed(lambda stream: b"\0" + stream[1:]), [("tnef", "TNEF signature")]),
            ("no TNEF part", fixture("mixed-attachment.eml"), [("input", "no application/ms-tnef")]),
        ])


class CalendarChecks(ValidatorTest):
    command = "ical"
    needs = ("ical",)

    def test_valid_calendars_pass(self):
        self.assert_accepted(fixture("meeting-request.eml"), "meeting.eml", [("/meeting.eml#2", "ical")])
        self.assert_accepted(fixture("task.ics"), "task.ics", [("/task.ics", "ical")])

    def test_broken_calendars_are_rejected(self):
        event, task = "meeting-request.eml", "task.ics"
        zone = b"TZID=W. Europe Standard Time:"
        self.check_table([
            ("REQUEST without ORGANIZER", replaced(event, b"ORGANIZER;CN=Ann Example:mailto:ann@example.com\r\n", b""),
             [("libical", "INVALID-ITIP: Failed iTIP restrictions for ORGANIZER property")]),
            ("unparsable DTEND", replaced(event, zone + b"20240311T110000", zone + b"2024-03-11 11:00"),
             [("libical", "VALUE-PARSE-ERROR"), ("icalendar", "DTEND"), ("ical", "neither a DATE nor a DATE-TIME")]),
            ("PRIORITY not a number", replaced(task, b"PRIORITY:5", b"PRIORITY:high"),
             [("icalendar", "Expected int")]),
            ("TZID without VTIMEZONE", replaced(event, b"TZID:W. Europe", b"TZID:Central Europe"),
             [("ical", "TZID 'W. Europe Standard Time' has no VTIMEZONE")]),
            ("EXDATE an hour off", replaced(event, b"EXDATE;" + zone + b"20240318T100000",
                                                b"EXDATE;" + zone + b"20240318T090000"),
             [("ical", "EXDATE 2024-03-18T09:00:00+01:00 excludes no occurrence")]),
            ("RECURRENCE-ID off the series", replaced(event, b"RECURRENCE-ID;" + zone + b"20240408",
                                                         b"RECURRENCE-ID;" + zone + b"20240409"),
             [("ical", "RECURRENCE-ID 2024-04-09T10:00:00+02:00 is no occurrence")]),
            ("DTSTART off the rule", replaced(event, zone + b"20240311T1", zone + b"20240312T1"),
             [("ical", "is not an occurrence of its RRULE")]),
            ("floating UNTIL with a zoned DTSTART", replaced(event, b"COUNT=6", b"UNTIL=20240415T100000"),
             [("ical", "cannot be expanded")]),
            ("DTEND before DTSTART", replaced(event, zone + b"20240311T110000", zone + b"20240311T090000"),
             [("ical", "is not later than DTSTART")]),
            ("DUE before DTSTART", replaced(task, b"DUE;VALUE=DATE:20240315", b"DUE;VALUE=DATE:20240215"),
             [("ical", "DUE 2024-02-15 is not later than DTSTART")]),
            ("floating DTSTAMP", replaced(task, b"DTSTAMP:20240301T120000Z", b"DTSTAMP:20240301T120000"),
             [("ical", "DTSTAMP must be a UTC DATE-TIME")]),
            ("no UID", replaced(task, b"UID:task-1@example.com\r\n", b""), [("ical", "VTODO on line 4 has no UID")]),
            ("MIME method differs", replaced(event, b"method=REQUEST", b"method=CANCEL"),
             [("ical", "the MIME method parameter 'CANCEL' differs from METHOD 'REQUEST'")]),
            ("line over 75 octets", replaced(event, b"mailto\r\n :bob", b"mailto:bob"),
             [("ical", "longer than 75 octets")]),
            ("fold inside a UTF-8 character.ics",
             replaced(task, b"SUMMARY:Prepare", "SUMMARY:W\xf6chentlich".encode("utf-8").replace(b"\xc3", b"\xc3\r\n ")),
             [("ical", "not UTF-8 on its own")]),
            ("bare LF", fixture(task).replace(b"\r\n", b"\n"), [("ical", "bare LF")]),
            ("END:VTODO missing", replaced(task, b"END:VTODO\r\n", b""),
             [("ical", "BEGIN:VTODO on line 4 has no END"), ("libical", "cannot parse")]),
        ])


class VCardChecks(ValidatorTest):
    command = "vcard"
    needs = ("vcard",)

    def test_valid_cards_pass(self):
        self.assert_accepted(fixture("contact.vcf"), "contact.vcf", [("/contact.vcf", "vcard")])
        message = wrapped(fixture("contact.vcf"), 'text/x-vcard; charset="utf-8"', "base64")
        self.assert_accepted(message, "contact.eml", [("/contact.eml#1", "vcard")])

    def test_broken_cards_are_rejected(self):
        card = "contact.vcf"
        self.check_table([
            ("line over 75 octets", replaced(card, b"1;=\r\nBerlin", b"1;Berlin"), [("vcard", "longer than 75 octets")]),
            ("non-ASCII without CHARSET", replaced(card, b"N;CHARSET=UTF-8;ENCODING", b"N;ENCODING"),
             [("vcard", "line 3 (N): non-ASCII QUOTED-PRINTABLE value without a CHARSET")]),
            ("raw 8-bit", replaced(card, b"ORG:Example", "ORG:Exämple".encode()), [("vcard", "raw 8-bit octets")]),
            ("QP '=' without hex digits", replaced(card, b"Hauptstra=C3=9Fe", b"Hauptstra=G3=9Fe"),
             [("vcard", "'=' without two hex digits")]),
            ("photo that does not decode", replaced(card, b"R0lGODlhAQABAIAAAP", b"R0lGODlhAQABAIAAA*"),
             [("vcard", "BASE64 value does not decode"), ("vobject", "base64")]),
            ("photo that is not its TYPE", replaced(card, b"R0lGODlh", b"iVBORw0K"), [("vcard", "is not a GIF image")]),
            ("VERSION 3.0", replaced(card, b"VERSION:2.1", b"VERSION:3.0"), [("vcard", "needs exactly one VERSION:2.1")]),
            ("no END", replaced(card, b"END:VCARD\r\n", b""),
             [("vcard", "BEGIN:VCARD on line 1 has no END"), ("vobject", "never closed")]),
            ("no FN", replaced(card, b"FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n", b""),
             [("vobject", "FN")]),
            ("bare LF", fixture(card).replace(b"\r\n", b"\n"), [("vcard", "bare LF")]),
        ])


class VGroupChecks(ValidatorTest):
    command = "vgroup"
    needs = ("vgroup",)

    def test_valid_group_passes(self):
        self.assert_accepted(fixture("group.vgroup"), "group.vgroup", [("/group.vgroup", "vgroup")])

    def test_broken_groups_are_rejected(self):
        group = "group.vgroup"
        self.check_table([
            ("VERSION 2.0", replaced(group, b"VERSION:1.0", b"VERSION:2.0"), [("vgroup", "needs exactly one VERSION:1.0")]),
            ("MEMBER without address", replaced(group, b"MEMBER:bob@example.com", b"MEMBER:"),
             [("vgroup", "line 10: MEMBER without an address")]),
            ("END of another kind", replaced(group, b"END:VGROUP", b"END:VCARD"), [("vgroup", "END:VCARD closes VGROUP")]),
            ("REV not UTC", replaced(group, b"REV:20240301T120000Z", b"REV:20240301T120000"),
             [("vgroup", "not a UTC date-time")]),
            ("line over 75 octets", replaced(group, b"NOTE:Everyone", b"NOTE:" + b"x" * 80), [("vgroup", "longer than 75")]),
            ("bare LF", fixture(group).replace(b"\r\n", b"\n"), [("vgroup", "bare LF")]),
        ])


class ReportChecks(ValidatorTest):
    command = "report"
    needs = ("report",)

    def test_valid_reports_pass(self):
        self.assert_accepted(fixture("delivery-report.eml"), "dsn.eml", [("/dsn.eml", "report")])
        self.assert_accepted(fixture("read-report.eml"), "mdn.eml", [("/mdn.eml", "report")])

    def test_broken_reports_are_rejected(self):
        dsn, mdn = "delivery-report.eml", "read-report.eml"
        self.check_table([
            ("DSN without Final-Recipient", replaced(dsn, b"Final-Recipient: rfc822; nobody@example.net\r\n", b""),
             [("dsn", "recipient block 1 needs exactly one Final-Recipient field, has 0")]),
            ("Status not x.y.z", replaced(dsn, b"Status: 5.1.1", b"Status: 5.1"), [("dsn", "not an RFC 3463 status code")]),
            ("Status contradicting Action", replaced(dsn, b"Action: failed", b"Action: delivered"),
             [("dsn", "Status 5.1.1 contradicts Action delivered")]),
            ("unknown Action", replaced(dsn, b"Action: failed", b"Action: bounced"), [("dsn", "Action 'bounced'")]),
            ("Reporting-MTA without type", replaced(dsn, b"Reporting-MTA: dns; ", b"Reporting-MTA: "),
             [("dsn", "Reporting-MTA: 'mail.example.com' is not")]),
            ("no Reporting-MTA", replaced(dsn, b"Reporting-MTA: dns; mail.example.com\r\n", b""),
             [("dsn", "per-message block needs exactly one Reporting-MTA")]),
            ("no blank line before the recipient", replaced(dsn, b"+0100\r\n\r\nFinal-Recipient", b"+0100\r\nFinal-Recipient"),
             [("dsn", "no per-recipient block")]),
            ("report-type of the other kind", replaced(dsn, b"report-type=delivery-status", b"report-type=disposition-notification"),
             [("report", "needs message/disposition-notification")]),
            ("text after the returned headers", replaced(dsn, b"example.com>\r\n\r\n--rep-5--", b"example.com>\r\n\r\nBody\r\n--rep-5--"),
             [("rfc822-headers", "text after the header block")]),
            ("four parts", replaced(dsn, b"\r\n--rep-5--", b"\r\n--rep-5\r\nContent-Type: text/plain\r\n\r\nmore\r\n--rep-5--"),
             [("report", "has 4 parts")]),
            ("MDN with an unknown disposition", replaced(mdn, b"MDN-sent-automatically; displayed", b"MDN-sent-automatically; read"),
             [("mdn", "Disposition 'manual-action/MDN-sent-automatically; read' breaks RFC 8098")]),
            ("MDN without Final-Recipient", replaced(mdn, b"Final-Recipient: rfc822; bob@example.com\r\n", b""),
             [("mdn", "needs exactly one Final-Recipient field, has 0")]),
            ("MDN Original-Message-ID without brackets", replaced(mdn, b"Original-Message-ID: <original.1@example.com>",
                                                                b"Original-Message-ID: original.1"),
             [("mdn", "is not a msg-id")]),
            ("no report-type", replaced(mdn, b" report-type=disposition-notification;", b""),
             [("report", "has no report-type parameter")]),
            ("not a report", fixture("mixed-attachment.eml"), [("input", "no multipart/report part")]),
        ])


class Listings(unittest.TestCase):
    needs = ("parts", "expand", "members")

    def listing(self, *arguments):
        status, output, errors = validate(*arguments)
        self.assertEqual(status, 0, errors)
        return json.loads(output)

    def test_parts_give_the_decoded_bytes_of_every_attachment(self):
        listing = self.listing("parts", os.path.join(FIXTURES, "mixed-attachment.eml"))
        attachment = [p for p in listing["parts"] if p["filename"] == "figures.bin"]
        self.assertEqual(len(attachment), 1)
        self.assertEqual((attachment[0]["size"], attachment[0]["sha256"], attachment[0]["disposition"]),
                         (256, hashlib.sha256(bytes(range(256))).hexdigest(), "attachment"))
        self.assertEqual([(p["section"], p["content_type"]) for p in listing["parts"]],
                         [("1.1", "text/plain"), ("1.2", "text/html"), ("2", "application/octet-stream")])
        message = listing["messages"][0]
        self.assertEqual(message["subject"], "Quarterly figures – draft")
        self.assertIn("Grüße, Jürgen", message["text_body"])
        self.assertIn("<p>Hello Ann,</p>", message["html_body"])

    def test_parts_resolve_cid_references_within_their_related_part(self):
        listing = self.listing("parts", os.path.join(FIXTURES, "related-html.eml"))
        self.assertEqual(listing["cid_references"], [{"html_section": "1.2", "cid": "logo.png@01DA0001",
                                                      "scope": "multipart/related", "resolved": True,
                                                      "target_section": "2"}])
        image = next(p for p in listing["parts"] if p["content_id"] == "logo.png@01DA0001")
        png = base64.b64decode(b"iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC")
        self.assertEqual((image["size"], image["sha256"]), (len(png), hashlib.sha256(png).hexdigest()))

    def test_parts_number_embedded_messages_as_imap_does(self):
        listing = self.listing("parts", os.path.join(FIXTURES, "embedded-message.eml"))
        self.assertEqual([m["section"] for m in listing["messages"]], ["", "2"])
        self.assertEqual([p["section"] for p in listing["parts"]], ["1", "2", "2.1", "2.2"])
        self.assertEqual(listing["messages"][1]["html_body"], '<html><body><img src="cid:logo@inner"></body></html>')
        self.assertEqual(listing["cid_references"][0]["target_section"], "2.2")

    def test_expansion_keeps_local_time_across_daylight_saving(self):
        listing = self.listing("expand", os.path.join(FIXTURES, "meeting-request.eml"))
        (series,) = listing["components"]
        # Europe moved to summer time on 31 March 2024; 18 March is excluded.
        self.assertEqual([o["utc"] for o in series["occurrences"]],
                         ["2024-03-11T09:00:00Z", "2024-03-25T09:00:00Z", "2024-04-01T08:00:00Z",
                          "2024-04-08T08:00:00Z", "2024-04-15T08:00:00Z"])
        self.assertEqual({o["local"][11:] for o in series["occurrences"]}, {"10:00:00"})
        self.assertEqual(series["exdate"][0]["utc"], "2024-03-18T09:00:00Z")
        self.assertEqual(series["overrides"], [{
            "recurrence_id": {"local": "2024-04-08T10:00:00", "utc": "2024-04-08T08:00:00Z", "utc_offset": "+02:00"},
            "dtstart": {"local": "2024-04-08T14:00:00", "utc": "2024-04-08T12:00:00Z", "utc_offset": "+02:00"}}])
        self.assertFalse(series["truncated"])

    def test_expansion_stops_at_the_count_or_the_end_given(self):
        path = os.path.join(FIXTURES, "meeting-request.eml")
        for arguments, expected in ((("--count", "2"), ["2024-03-11", "2024-03-25"]),
                                    (("--until", "2024-04-01"), ["2024-03-11", "2024-03-25", "2024-04-01"]),
                                    (("--until", "2024-04-01T07:59:59Z"), ["2024-03-11", "2024-03-25"])):
            with self.subTest(arguments):
                (series,) = self.listing("expand", *arguments, path)["components"]
                self.assertEqual([o["local"][:10] for o in series["occurrences"]], expected)
                self.assertTrue(series["truncated"])

    def test_expansion_of_all_day_and_floating_series(self):
        calendar = ("BEGIN:VCALENDAR\r\nPRODID:-//Example//Validator fixture//EN\r\nVERSION:2.0\r\n"
                    "BEGIN:VEVENT\r\nUID:leap@example.com\r\nDTSTAMP:20240101T000000Z\r\n"
                    "DTSTART;VALUE=DATE:20240229\r\nRRULE:FREQ=YEARLY;COUNT=3\r\nRDATE;VALUE=DATE:20250301\r\nEND:VEVENT\r\n"
                    "BEGIN:VEVENT\r\nUID:floating@example.com\r\nDTSTAMP:20240101T000000Z\r\n"
                    "DTSTART:20240101T080000\r\nRRULE:FREQ=DAILY;COUNT=2\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        with tempfile.NamedTemporaryFile(suffix=".ics") as file:
            file.write(calendar.encode("ascii"))
            file.flush()
            leap, floating = self.listing("expand", file.name)["components"]
        # A yearly rule skips the years without 29 February (RFC 5545 3.3.10); the RDATE adds one.
        self.assertEqual(leap["occurrences"], [{"local": day, "utc": None}
                                               for day in ("2024-02-29", "2025-03-01", "2028-02-29", "2032-02-29")])
        self.assertTrue(leap["all_day"])
        self.assertEqual(floating["occurrences"], [{"local": "2024-01-01T08:00:00", "utc": None},
                                                   {"local": "2024-01-02T08:00:00", "utc": None}])

    def test_members_lists_every_group_member(self):
        listing = self.listing("members", os.path.join(FIXTURES, "group.vgroup"))
        (group,) = listing["groups"]
        self.assertEqual(group["name"], "Sales & Marketing")
        self.assertEqual([(m["name"], m["address"]) for m in group["members"]],
                         [("Ann Example", "ann@example.com"), ("Jürgen Müller", "juergen@example.com"),
                          (None, "bob@example.com")])


class CommandLine(unittest.TestCase):
    needs = ("message",)

    def test_message_checks_each_part_by_its_content_type(self):
        expected = {
            "mixed-attachment.eml": ["mime"], "tnef.eml": ["mime", "tnef"], "meeting-request.eml": ["mime", "ical"],
            "delivery-report.eml": ["mime", "report"], "read-report.eml": ["mime", "report"],
            "task.ics": ["ical"], "contact.vcf": ["vcard"], "group.vgroup": ["vgroup"],
        }
        for name, checks in expected.items():
            with self.subTest(name):
                status, output, errors = validate("message", "--json", os.path.join(FIXTURES, name))
                self.assertEqual(status, 0, output + errors)
                self.assertEqual(sorted(e["check"] for e in json.loads(output)["checked"]), sorted(checks))

    def test_a_problem_is_one_line_and_the_exit_status_is_one(self):
        with tempfile.NamedTemporaryFile(suffix=".eml") as file:
            file.write(replaced("related-html.eml", b"<logo.png@01DA0001>", b"<other@x>"))
            file.flush()
            status, output, _ = validate("message", file.name)
        self.assertEqual(status, 1)
        self.assertEqual(output, f"{file.name}#1.2: cid: \"cid:logo.png@01DA0001\" names no part with that "
                                 "Content-ID in its multipart/related\n")

    def test_unreadable_input_exits_with_two(self):
        status, output, errors = validate("mime", os.path.join(FIXTURES, "no-such-file.eml"))
        self.assertEqual((status, output), (2, ""))
        self.assertIn("cannot read", errors)

    def test_a_missing_reader_exits_with_three(self):
        environment = {k: v for k, v in os.environ.items() if k != "EX2QLN_GMIME_STRICT"}
        status, _, errors = validate("mime", os.path.join(FIXTURES, "tnef.eml"), environment=environment)
        self.assertEqual(status, 3)
        self.assertIn("gmime is missing", errors)
        status, output, _ = validate("deps", "mime", environment=environment)
        self.assertEqual(status, 3)
        self.assertIn("missing: gmime", output)
        self.assertEqual(validate("deps", "tnef", "ical", "vcard")[0], 0)


def main(suite):
    cases = {name: value for name, value in globals().items()
             if isinstance(value, type) and issubclass(value, unittest.TestCase) and value.needs}
    if suite not in cases:
        print(f"usage: selftest.py {'|'.join(cases)}", file=sys.stderr)
        return 2
    status, output, errors = validate("deps", *cases[suite].needs)
    if status != 0:
        print(f"skipped: readers for {suite} are missing:\n{output}{errors}")
        return SKIPPED
    result = unittest.TextTestRunner(verbosity=2).run(unittest.defaultTestLoader.loadTestsFromTestCase(cases[suite]))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) == 2 else ""))
