"""MIME checks of a whole message.

Three readers look at it: GMime in strict mode (a small C program, any warning is a problem),
Python's email package with policy.default (every defect of every part and header), and our own
checks of what both let pass: canonical CRLF line ends, line lengths, 7-bit headers, RFC 2047
encoded words, transfer encodings, charsets, boundaries, required header fields, and "cid:"
references.
"""

import base64
import codecs
import re
import subprocess

from . import cid, mimeparts
from .findings import locate

SINGULAR_MESSAGE_FIELDS = ("Date", "From", "Sender", "Reply-To", "To", "Cc", "Bcc", "Message-ID",
                           "In-Reply-To", "References", "Subject")
SINGULAR_MIME_FIELDS = ("MIME-Version", "Content-Type", "Content-Transfer-Encoding", "Content-ID",
                        "Content-Disposition", "Content-Description")
TRANSFER_ENCODINGS = ("7bit", "8bit", "binary", "quoted-printable", "base64")
IDENTITY_ENCODINGS = ("7bit", "8bit", "binary")
# RFC 2045 5.2 makes US-ASCII the default; iCalendar's own is UTF-8 (RFC 5545 3.1.4).
DEFAULT_CHARSETS = {"text/calendar": "utf-8"}
MAX_LINE = 998          # RFC 5322 2.1.1, without the CRLF
MAX_ENCODED_LINE = 76   # RFC 2045 6.7 and 6.8
MAX_ENCODED_WORD = 75   # RFC 2047 2
_HEADER_NAME = re.compile(r"^[\x21-\x39\x3b-\x7e]+$")
_ENCODED_WORD = re.compile(r"=\?([^?\s]+)\?([^?\s]+)\?([^?\s]*)\?=")
_BOUNDARY = re.compile(r"^[0-9A-Za-z'()+_,\-./:=? ]{0,69}[0-9A-Za-z'()+_,\-./:=?]$")
_Q_TEXT = re.compile(r"^(?:[\x21-\x3c\x3e\x40-\x7e]|=[0-9A-Fa-f]{2})*$")
_QP_ESCAPE = re.compile(r"=(?![0-9A-Fa-f]{2})")
_QP_SAFE = re.compile(r"^[\t\x20-\x7e]*$")


class GMimeUnavailable(Exception):
    pass


def check(path, data, findings, gmime_harness):
    """All MIME checks of the message in `data` (read from `path`)."""
    check_raw(path, data, findings)
    check_with_gmime(path, gmime_harness, findings)
    root = mimeparts.tree(mimeparts.parse_bytes(data))
    check_with_email(path, root, findings)
    check_structure(path, root, findings)
    check_cid_references(path, root, findings)
    findings.note_checked(path, "mime")


# --- the raw bytes -------------------------------------------------------------------------------

def check_raw(path, data, findings):
    lines = data.split(b"\n")
    bare_lf = [n for n, line in enumerate(lines[:-1], 1) if not line.endswith(b"\r")]
    if bare_lf:
        findings.add(path, "mime", f"{len(bare_lf)} line(s) end in a bare LF, not CRLF (first: line {bare_lf[0]})")
    bare_cr = [n for n, line in enumerate(lines, 1) if b"\r" in line.rstrip(b"\r")]
    if bare_cr:
        findings.add(path, "mime", f"bare CR inside line {bare_cr[0]} ({len(bare_cr)} line(s))")
    long_lines = [n for n, line in enumerate(lines, 1) if len(line.rstrip(b"\r")) > MAX_LINE]
    if long_lines:
        findings.add(path, "mime", f"line {long_lines[0]} is longer than {MAX_LINE} octets ({len(long_lines)} line(s))")
    if lines and lines[-1]:
        findings.add(path, "mime", "the message does not end with a line end")


# --- GMime ---------------------------------------------------------------------------------------

def check_with_gmime(path, harness, findings):
    if not harness:
        raise GMimeUnavailable("the GMime strict harness is not built")
    result = subprocess.run([harness, path], capture_output=True, timeout=120)
    output = result.stdout.decode("utf-8", "replace")
    for line in output.splitlines():
        offset, _, rest = line.partition("\t")
        name, _, item = rest.partition("\t")
        where = f" at offset {offset}" if offset != "-1" else ""
        findings.add(path, "gmime", f"{name}{where}" + (f": {item}" if item else ""))
    if result.returncode not in (0, 1) or (result.returncode == 1 and not output.strip()):
        findings.add(path, "gmime", f"harness failed with status {result.returncode}: "
                     f"{result.stderr.decode('utf-8', 'replace').strip()}")


# --- Python's email package ----------------------------------------------------------------------

def owns_headers(entity):
    """False for the multipart body of a message: its header block is the message's."""
    return entity.parent is None or entity.parent.part is not entity.part


def has_own_header_block(entity):
    return entity.kind == "message" or owns_headers(entity)


def check_with_email(path, root, findings):
    for leaf in root.leaves():
        try:
            mimeparts.decoded_bytes(leaf)  # decoding records base64 defects on the part
        except Exception as error:  # the package's own decoders may raise on bad input
            findings.add(locate(path, leaf.section), "email", f"decoding the body failed: {error!r}")
    for entity in root.walk():
        if not has_own_header_block(entity):
            continue
        where = locate(path, entity.section)
        for defect in entity.part.defects:
            findings.add(where, "email", mimeparts.defect_text(defect))
        for name, problem in mimeparts.header_defects(entity.part):
            findings.add(where, "email", f"header {name}: {problem}")


# --- our own structural checks -------------------------------------------------------------------

def check_structure(path, root, findings):
    for entity in root.walk():
        where = locate(path, entity.section)
        if entity.kind == "message":
            _check_message_fields(where, entity, findings, top_level=entity is root)
        if has_own_header_block(entity):
            _check_header_block(where, entity.part, findings)
        if entity.kind == "multipart":
            _check_multipart(where, entity, findings)
        if entity.kind == "leaf":
            _check_leaf(where, entity, findings)


def _count(part, name):
    return len(part.get_all(name) or [])


def _check_message_fields(where, entity, findings, top_level):
    part = entity.part
    if top_level:
        for name in ("From", "Date"):
            if _count(part, name) == 0:
                findings.add(where, "mime", f"the message has no {name} field (RFC 5322 3.6)")
        if "Content-Type" in part and part.get("MIME-Version") is None:
            findings.add(where, "mime", "MIME fields without MIME-Version (RFC 2045 4)")
    for name in SINGULAR_MESSAGE_FIELDS:
        if _count(part, name) > 1:
            findings.add(where, "mime", f"{name} appears {_count(part, name)} times (RFC 5322 3.6 allows one)")
    version = part.get("MIME-Version")
    if version is not None and re.sub(r"\([^)]*\)|\s", "", str(version)) != "1.0":
        findings.add(where, "mime", f"MIME-Version is {str(version)!r}, not 1.0")


def _check_header_block(where, part, findings):
    for name in SINGULAR_MIME_FIELDS:
        if _count(part, name) > 1:
            findings.add(where, "mime", f"{name} appears {_count(part, name)} times")
    for name, raw in part.raw_items():
        if not _HEADER_NAME.match(name):
            findings.add(where, "mime", f"invalid header field name {name!r}")
        if any(ord(c) > 0x7e or (ord(c) < 0x20 and c not in "\t\r\n") for c in raw):
            findings.add(where, "mime", f"header {name} holds unencoded 8-bit or control characters "
                         "(RFC 5322 2.2, RFC 2047)")
        _check_encoded_words(where, name, raw, findings)


def _check_encoded_words(where, name, raw, findings):
    for match in _ENCODED_WORD.finditer(raw):
        word, (charset, encoding, text) = match.group(0), match.groups()
        problem = _encoded_word_problem(charset, encoding, text)
        if problem is None and len(word) > MAX_ENCODED_WORD:
            problem = f"is {len(word)} characters long (at most {MAX_ENCODED_WORD})"
        before = raw[match.start() - 1] if match.start() > 0 else " "
        after = raw[match.end()] if match.end() < len(raw) else " "
        if problem is None and (before not in " \t\r\n(" or after not in " \t\r\n)"):
            problem = "is not separated from the text around it by white space (or is inside a quoted string or parameter)"
        if problem is not None:
            findings.add(where, "mime", f"header {name}: encoded word {word[:40]!r} {problem} (RFC 2047)")


def _encoded_word_problem(charset, encoding, text):
    charset = charset.split("*", 1)[0]
    try:
        codecs.lookup(charset)
    except LookupError:
        return f"names an unknown charset {charset!r}"
    if encoding.upper() == "B":
        try:
            decoded = base64.b64decode(text, validate=True)
        except ValueError:  # binascii.Error, or non-ASCII characters
            return "has invalid Base64"
    elif encoding.upper() == "Q":
        if not _Q_TEXT.match(text):
            return "has characters the Q encoding does not allow"
        decoded = re.sub(rb"=([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                         text.replace("_", " ").encode("ascii"))
    else:
        return f"has unknown encoding {encoding!r}"
    try:
        decoded.decode(charset)
    except UnicodeDecodeError:
        return f"does not decode as {charset}"
    return None


def _check_multipart(where, entity, findings):
    boundary = entity.part.get_param("boundary")
    if boundary is None:
        findings.add(where, "mime", f"{entity.content_type} has no boundary parameter")
    elif not _BOUNDARY.match(str(boundary)):
        findings.add(where, "mime", f"boundary {str(boundary)!r} breaks RFC 2046 5.1.1 (1-70 allowed characters)")
    _check_transfer_encoding(where, entity.part, findings, composite=True)
    if entity.content_type == "multipart/related":
        _check_related(where, entity, findings)


def _check_related(where, entity, findings):
    declared = entity.part.get_param("type")
    if declared is None:
        findings.add(where, "mime", "multipart/related has no type parameter (RFC 2387 3.1)")
        return
    if not entity.children:
        return
    root = entity.children[0]
    start = entity.part.get_param("start")
    if start is not None:
        wanted = str(start).strip("<>")
        root = next((c for c in entity.children if mimeparts.content_id(c) == wanted), None)
        if root is None:
            findings.add(where, "mime", f"multipart/related start {str(start)!r} names no part")
            return
    if root.content_type != str(declared).lower():
        findings.add(where, "mime", f"multipart/related type {str(declared)!r} differs from its root part's "
                     f"{root.content_type}")


def _transfer_encoding(part):
    value = part.get("Content-Transfer-Encoding")
    return "7bit" if value is None else str(value).strip().lower()


def _check_transfer_encoding(where, part, findings, composite):
    encoding = _transfer_encoding(part)
    allowed = IDENTITY_ENCODINGS if composite else TRANSFER_ENCODINGS
    if encoding not in allowed:
        findings.add(where, "mime", f"Content-Transfer-Encoding {encoding!r} is not allowed here "
                     f"(RFC 2045 6.1, 6.4)")


def _check_leaf(where, entity, findings):
    part = entity.part
    composite = entity.content_type == "message/rfc822"
    _check_transfer_encoding(where, part, findings, composite)
    if composite:
        return
    body = part.get_payload()
    if not isinstance(body, str):
        return
    encoding = _transfer_encoding(part)
    if encoding in ("7bit", "quoted-printable", "base64"):
        if any(ord(c) > 0x7e for c in body) or "\0" in body:
            findings.add(where, "mime", f"8-bit or NUL octets in a {encoding} body (RFC 2045 2.7)")
    lines = body.split("\n")
    if encoding == "quoted-printable":
        _check_quoted_printable(where, lines, findings)
    if encoding == "base64":
        too_long = sum(1 for line in lines if len(line.rstrip("\r")) > MAX_ENCODED_LINE)
        if too_long:
            findings.add(where, "mime", f"{too_long} Base64 line(s) longer than {MAX_ENCODED_LINE} characters (RFC 2045 6.8)")
    if entity.part.get_content_maintype() == "text":
        _check_charset(where, entity, findings)


def _check_quoted_printable(where, lines, findings):
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\r")
        if len(line) > MAX_ENCODED_LINE:
            findings.add(where, "mime", f"quoted-printable line {number} is longer than {MAX_ENCODED_LINE} characters (RFC 2045 6.7)")
            return
        if _QP_ESCAPE.search(line[:-1] if line.endswith("=") else line):
            findings.add(where, "mime", f"quoted-printable line {number} has '=' without two hex digits (RFC 2045 6.7)")
            return
        if line.endswith((" ", "\t")):
            findings.add(where, "mime", f"quoted-printable line {number} ends in unencoded white space (RFC 2045 6.7)")
            return
        if not _QP_SAFE.match(line):
            findings.add(where, "mime", f"quoted-printable line {number} has unencoded control or 8-bit characters")
            return


def _check_charset(where, entity, findings):
    charset = entity.part.get_param("charset")
    name = str(charset) if charset is not None else DEFAULT_CHARSETS.get(entity.content_type, "us-ascii")
    try:
        codecs.lookup(name)
    except LookupError:
        findings.add(where, "mime", f"unknown charset {name!r}")
        return
    try:
        mimeparts.decoded_bytes(entity).decode(name)
    except UnicodeDecodeError as error:
        reason = "without a charset parameter" if charset is None else f"as charset {name}"
        findings.add(where, "mime", f"the text does not decode {reason}: {error.reason} at octet {error.start}")


# --- cid: references -----------------------------------------------------------------------------

def check_cid_references(path, root, findings):
    for reference in cid.references(root):
        if reference.target is None:
            findings.add(locate(path, reference.html.section), "cid",
                         f"\"cid:{reference.cid}\" names no part with that Content-ID in its {reference.scope}")
