"""vCard 2.1 bodies.

vobject reads each card with validate=True and allowQP=True. Our own checks add the vCard 2.1
rules vobject does not enforce: CRLF line ends; physical lines of at most 75 octets, continued
either by a line starting with white space or, inside a QUOTED-PRINTABLE value, by a soft line
break ("=" at the end of the line); no raw 8-bit octets (non-ASCII text goes QUOTED-PRINTABLE with a
CHARSET parameter that decodes it); BASE64 values that decode (and PHOTO data that looks like
its TYPE); BEGIN:VCARD, VERSION:2.1 and END:VCARD.
"""

import base64
import codecs
import re

from . import contentlines

MAX_OCTETS = 75
ENCODINGS = ("7BIT", "8BIT", "QUOTED-PRINTABLE", "BASE64")
# vCard 2.1 names: its own are letters, digits and "-"; an extension "X-" and a word, which may hold
# any printable character but the delimiters "[", "]", "=", ":", ".", "," and ";".
_NAME = re.compile(r"^(?:X-[!-+\-/0-9<>?-Z\\^-~]+|[A-Za-z0-9-]+)$")
_QP_ESCAPE = re.compile(r"=(?![0-9A-Fa-f]{2})")
_IMAGE_SIGNATURES = {"JPEG": (b"\xff\xd8\xff",), "GIF": (b"GIF87a", b"GIF89a"), "PNG": (b"\x89PNG\r\n\x1a\n",),
                     "BMP": (b"BM",), "TIFF": (b"II*\0", b"MM\0*")}


def _encoding(line):
    value = line.param("ENCODING")
    if value is not None:
        return value.upper()
    for word in ("QUOTED-PRINTABLE", "BASE64", "8BIT", "7BIT"):
        if line.has_word(word):
            return word
    return "7BIT"


def _continues(previous, line):
    head = contentlines.parse_line(0, previous)
    if head is not None and _encoding(head) == "QUOTED-PRINTABLE" and previous.endswith("="):
        return "\n" + line  # a soft line break, undone by the QP decoding
    return line[1:] if line[:1] in (" ", "\t") else None


def read(data, where, checker, findings, begin):
    """The content-line blocks of a vCard-style body, with the line-level checks done."""
    lines = contentlines.physical_lines(data, where, checker, findings)
    contentlines.check_length(lines, MAX_OCTETS, where, checker, findings)
    eight_bit = [n for n, line in enumerate(lines, 1) if any(octet > 0x7e for octet in line)]
    if eight_bit:
        findings.add(where, checker, f"{len(eight_bit)} line(s) hold raw 8-bit octets; non-ASCII text must be "
                     f"QUOTED-PRINTABLE with a CHARSET (first: line {eight_bit[0]})")
    parsed = contentlines.parse(contentlines.unfold(lines, _continues), where, checker, findings)
    found = contentlines.blocks(parsed, where, checker, findings)
    if not found:
        findings.add(where, checker, f"no BEGIN:{begin}")
    for block in found:
        if block.name != begin:
            findings.add(where, checker, f"line {block.begin}: BEGIN:{block.name} where BEGIN:{begin} is expected")
    return found


def check(where, data, findings):
    cards = read(data, where, "vcard", findings, "VCARD")
    for card in cards:
        if card.name == "VCARD":
            _check_card(where, card, findings)
    check_with_vobject(where, data, findings)
    findings.note_checked(where, "vcard")


def check_with_vobject(where, data, findings):
    import vobject
    try:
        cards = list(vobject.readComponents(data.decode("utf-8", "replace"), validate=True, allowQP=True))
    except Exception as error:  # vobject raises ParseError, ValidateError and plain errors alike
        findings.add(where, "vobject", f"{type(error).__name__}: {error}")
        return
    if not cards:
        findings.add(where, "vobject", "no vCard read")


def _check_card(where, card, findings):
    here = f"VCARD on line {card.begin}"
    versions = [line.value.strip() for line in card.all("VERSION")]
    if versions != ["2.1"]:
        findings.add(where, "vcard", f"{here} needs exactly one VERSION:2.1, has {versions}")
    for block in card.children:
        findings.add(where, "vcard", f"{here} holds a nested BEGIN:{block.name}")
    for line in card.lines:
        _check_line(where, line, findings)


def _check_line(where, line, findings):
    at = f"line {line.number} ({line.name})"
    if not _NAME.match(line.name):
        findings.add(where, "vcard", f"{at}: invalid property name")
    encoding = _encoding(line)
    if encoding not in ENCODINGS:
        findings.add(where, "vcard", f"{at}: unknown ENCODING {encoding!r}")
        return
    if encoding == "QUOTED-PRINTABLE":
        _check_quoted_printable(where, at, line, findings)
    elif encoding == "BASE64":
        _check_base64(where, at, line, findings)


def _check_quoted_printable(where, at, line, findings):
    text = line.value.replace("=\n", "")
    if _QP_ESCAPE.search(text):
        findings.add(where, "vcard", f"{at}: '=' without two hex digits in a QUOTED-PRINTABLE value")
        return
    raw = re.sub(r"=([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)), text).encode("latin-1", "replace")
    if all(octet < 0x80 for octet in raw):
        return
    charset = line.param("CHARSET")
    if charset is None:
        findings.add(where, "vcard", f"{at}: non-ASCII QUOTED-PRINTABLE value without a CHARSET parameter")
        return
    try:
        raw.decode(codecs.lookup(charset).name)
    except LookupError:
        findings.add(where, "vcard", f"{at}: unknown CHARSET {charset!r}")
    except UnicodeDecodeError:
        findings.add(where, "vcard", f"{at}: the value does not decode as CHARSET {charset}")


def _check_base64(where, at, line, findings):
    text = "".join(line.value.split())
    try:
        data = base64.b64decode(text, validate=True)
    except ValueError as error:  # binascii.Error, or non-ASCII characters
        findings.add(where, "vcard", f"{at}: BASE64 value does not decode: {error}")
        return
    if not data:
        findings.add(where, "vcard", f"{at}: empty BASE64 value")
        return
    kind = (line.param("TYPE") or next((key for key, value in line.params if value is None
                                         and key in _IMAGE_SIGNATURES), "")).upper()
    if line.name in ("PHOTO", "LOGO") and kind in _IMAGE_SIGNATURES and not data.startswith(_IMAGE_SIGNATURES[kind]):
        findings.add(where, "vcard", f"{at}: BASE64 data is not a {kind} image")
