"""Delivery and read reports: multipart/report (RFC 6522) with message/delivery-status (RFC 3464)
or message/disposition-notification (RFC 8098), and the text/rfc822-headers part.
"""

import email.parser
import email.policy
import email.utils
import re

from . import mimeparts
from .findings import locate

REPORT_PARTS = {"delivery-status": "message/delivery-status",
                "disposition-notification": "message/disposition-notification"}
RETURNED_CONTENT = ("message/rfc822", "text/rfc822-headers")
_TYPED_NAME = re.compile(r"^\s*[A-Za-z0-9][A-Za-z0-9-]*\s*;\s*\S")      # "type; value"
_STATUS = re.compile(r"^\s*([245])\.(\d{1,3})\.(\d{1,3})\s*(?:\(.*\))?\s*$")
_ACTION_CLASSES = {"failed": "45", "delayed": "4", "delivered": "2", "relayed": "2", "expanded": "2"}
_DISPOSITION = re.compile(
    r"^\s*(manual-action|automatic-action)\s*/\s*(MDN-sent-manually|MDN-sent-automatically)\s*;\s*"
    r"(displayed|deleted|dispatched|processed)"
    r"(?:\s*/\s*[A-Za-z0-9-]+(?:\s*,\s*[A-Za-z0-9-]+)*)?\s*$", re.IGNORECASE)
_MSG_ID = re.compile(r"^\s*<[^<>\s@]+@[^<>\s@]+>\s*$")


def check(path, data, findings, required=True):
    """Every multipart/report of the message; with `required`, having none is a problem."""
    root = mimeparts.tree(mimeparts.parse_bytes(data))
    reports = [e for e in root.walk() if e.kind == "multipart" and e.content_type == "multipart/report"]
    if not reports and required:
        findings.add(path, "input", "no multipart/report part")
    for report in reports:
        check_report(path, report, findings)


def check_report(path, report, findings):
    where = locate(path, report.section)
    findings.note_checked(where, "report")
    report_type = report.part.get_param("report-type")
    if report_type is None:
        findings.add(where, "report", "multipart/report has no report-type parameter (RFC 6522 3)")
        return
    report_type = str(report_type).lower()
    expected = REPORT_PARTS.get(report_type)
    if expected is None:
        findings.add(where, "report", f"report-type {report_type!r} is neither delivery-status nor "
                     "disposition-notification")
        return
    parts = report.children
    if not 2 <= len(parts) <= 3:
        findings.add(where, "report", f"multipart/report has {len(parts)} parts; RFC 6522 3 allows two or three")
    if len(parts) < 2:
        return
    if parts[1].content_type != expected:
        findings.add(locate(path, parts[1].section), "report",
                     f"the second part is {parts[1].content_type}, report-type {report_type} needs {expected}")
    elif report_type == "delivery-status":
        _check_delivery_status(locate(path, parts[1].section), parts[1], findings)
    else:
        _check_disposition(locate(path, parts[1].section), parts[1], findings)
    for returned in parts[2:]:
        where = locate(path, returned.section)
        if returned.content_type not in RETURNED_CONTENT:
            findings.add(where, "report", f"returned content is {returned.content_type}, not "
                         "message/rfc822 or text/rfc822-headers")
        elif returned.content_type == "text/rfc822-headers":
            check_rfc822_headers(where, returned, findings)


# --- the field blocks ----------------------------------------------------------------------------

def _blocks(entity):
    payload = entity.part.get_payload()
    return payload if isinstance(payload, list) else []


def _fields(where, block, findings, checker):
    """Field name (lower case) -> list of values, with the parser's defects reported."""
    for defect in block.defects:
        findings.add(where, checker, mimeparts.defect_text(defect))
    fields = {}
    for name, value in block.raw_items():
        if any(ord(c) > 0x7e for c in value):
            findings.add(where, checker, f"{name} holds 8-bit characters")
        fields.setdefault(name.lower(), []).append(" ".join(value.split()))
    return fields


def _required_once(where, fields, name, findings, checker, scope):
    values = fields.get(name.lower(), [])
    if len(values) != 1:
        findings.add(where, checker, f"{scope} needs exactly one {name} field, has {len(values)}")
        return None
    return values[0]


def _typed(where, fields, name, findings, checker):
    for value in fields.get(name.lower(), []):
        if not _TYPED_NAME.match(value):
            findings.add(where, checker, f"{name}: {value!r} is not \"type; value\"")


def _dates(where, fields, names, findings, checker):
    for name in names:
        for value in fields.get(name.lower(), []):
            if email.utils.parsedate_tz(value) is None:
                findings.add(where, checker, f"{name}: {value!r} is not an RFC 5322 date-time")


# --- RFC 3464 ------------------------------------------------------------------------------------

def _check_delivery_status(where, entity, findings):
    blocks = _blocks(entity)
    if not blocks:
        findings.add(where, "dsn", "message/delivery-status has no fields")
        return
    per_message = _fields(where, blocks[0], findings, "dsn")
    if _required_once(where, per_message, "Reporting-MTA", findings, "dsn", "the per-message block") is not None:
        _typed(where, per_message, "Reporting-MTA", findings, "dsn")
    for name in ("DSN-Gateway", "Received-From-MTA"):
        _typed(where, per_message, name, findings, "dsn")
    _dates(where, per_message, ("Arrival-Date",), findings, "dsn")
    if "final-recipient" in per_message or "action" in per_message:
        findings.add(where, "dsn", "per-recipient fields in the per-message block (a blank line is missing)")
    recipients = blocks[1:]
    if not recipients:
        findings.add(where, "dsn", "no per-recipient block (RFC 3464 2.1)")
    for number, block in enumerate(recipients, 1):
        _check_recipient(where, f"recipient block {number}", _fields(where, block, findings, "dsn"), findings)


def _check_recipient(where, scope, fields, findings):
    if _required_once(where, fields, "Final-Recipient", findings, "dsn", scope) is not None:
        _typed(where, fields, "Final-Recipient", findings, "dsn")
    for name in ("Original-Recipient", "Remote-MTA", "Diagnostic-Code"):
        _typed(where, fields, name, findings, "dsn")
    _dates(where, fields, ("Last-Attempt-Date", "Will-Retry-Until"), findings, "dsn")
    action = _required_once(where, fields, "Action", findings, "dsn", scope)
    status = _required_once(where, fields, "Status", findings, "dsn", scope)
    if action is not None and action.lower() not in _ACTION_CLASSES:
        findings.add(where, "dsn", f"{scope}: Action {action!r} is not failed, delayed, delivered, relayed or expanded")
        action = None
    if status is None:
        return
    match = _STATUS.match(status)
    if match is None:
        findings.add(where, "dsn", f"{scope}: Status {status!r} is not an RFC 3463 status code (2/4/5.x.y)")
    elif action is not None and match.group(1) not in _ACTION_CLASSES[action.lower()]:
        findings.add(where, "dsn", f"{scope}: Status {status} contradicts Action {action}")


# --- RFC 8098 ------------------------------------------------------------------------------------

def _check_disposition(where, entity, findings):
    blocks = _blocks(entity)
    if not blocks:
        findings.add(where, "mdn", "message/disposition-notification has no fields")
        return
    if len(blocks) > 1:
        findings.add(where, "mdn", "message/disposition-notification holds more than one block of fields")
    fields = _fields(where, blocks[0], findings, "mdn")
    scope = "the disposition notification"
    if _required_once(where, fields, "Final-Recipient", findings, "mdn", scope) is not None:
        _typed(where, fields, "Final-Recipient", findings, "mdn")
    disposition = _required_once(where, fields, "Disposition", findings, "mdn", scope)
    if disposition is not None and not _DISPOSITION.match(disposition):
        findings.add(where, "mdn", f"Disposition {disposition!r} breaks RFC 8098 3.2.6 "
                     "(action-mode/sending-mode; displayed|deleted|dispatched|processed[/modifiers])")
    for name in ("Reporting-UA", "MDN-Gateway", "Original-Recipient"):
        if len(fields.get(name.lower(), [])) > 1:
            findings.add(where, "mdn", f"{name} appears more than once")
    for value in fields.get("reporting-ua", []):
        if not value.split(";", 1)[0].strip():
            findings.add(where, "mdn", f"Reporting-UA {value!r} has no ua-name")
    for name in ("MDN-Gateway", "Original-Recipient"):
        _typed(where, fields, name, findings, "mdn")
    for value in fields.get("original-message-id", []):
        if not _MSG_ID.match(value):
            findings.add(where, "mdn", f"Original-Message-ID {value!r} is not a msg-id <left@right>")


# --- text/rfc822-headers -------------------------------------------------------------------------

def check_rfc822_headers(where, entity, findings):
    data = mimeparts.decoded_bytes(entity)
    if any(octet > 0x7e for octet in data):
        findings.add(where, "rfc822-headers", "the header block holds 8-bit octets")
    text = data.decode("ascii", "replace")
    parsed = email.parser.Parser(policy=email.policy.default).parsestr(text, headersonly=True)
    for defect in parsed.defects:
        findings.add(where, "rfc822-headers", mimeparts.defect_text(defect))
    if not parsed.keys():
        findings.add(where, "rfc822-headers", "no header fields")
    for name, problem in mimeparts.header_defects(parsed):
        findings.add(where, "rfc822-headers", f"header {name}: {problem}")
    if parsed.get_payload().strip():
        findings.add(where, "rfc822-headers", "text after the header block (only header fields belong here)")
