"""Content lines as iCalendar (RFC 5545 3.1), vCard 2.1 and VGROUP bodies write them.

`physical_lines` splits the text at CRLF and reports other line ends; `parse` unfolds and splits
each logical line into group, name, parameters and value. Folding differs between the formats,
so the caller says which continuation rules apply.
"""

from dataclasses import dataclass, field


@dataclass
class ContentLine:
    number: int          # the physical line it starts on (1-based)
    name: str            # upper case
    value: str
    group: str = ""      # vCard "item1." prefix
    params: list = field(default_factory=list)  # (NAME upper case, value or None for a bare word)

    def param(self, name):
        for key, value in self.params:
            if key == name:
                return value
        return None

    def has_word(self, word):
        """A bare vCard 2.1 parameter such as QUOTED-PRINTABLE, or TYPE/ENCODING equal to it."""
        word = word.upper()
        return any((key == word and value is None) or (value is not None and value.upper() == word)
                   for key, value in self.params)


def physical_lines(data, where, checker, findings):
    """The lines of `data` without their CRLF; bare LF, bare CR and a missing last CRLF are reported."""
    if not data:
        findings.add(where, checker, "the body is empty")
        return []
    parts = data.split(b"\r\n")
    if parts[-1] == b"":
        parts.pop()
    else:
        findings.add(where, checker, "the last line does not end with CRLF")
    bad = [n for n, line in enumerate(parts, 1) if b"\n" in line or b"\r" in line]
    if bad:
        findings.add(where, checker, f"{len(bad)} line(s) have a bare LF or CR line end (first: line {bad[0]})")
        parts = [piece for line in parts for piece in line.replace(b"\r", b"").split(b"\n")]
    return parts


def check_length(lines, limit, where, checker, findings):
    long_lines = [n for n, line in enumerate(lines, 1) if len(line) > limit]
    if long_lines:
        findings.add(where, checker, f"{len(long_lines)} line(s) longer than {limit} octets without folding "
                     f"(first: line {long_lines[0]}, {len(lines[long_lines[0] - 1])} octets)")


def _split_unquoted(text, separator):
    pieces, current, quoted = [], [], False
    for character in text:
        if character == '"':
            quoted = not quoted
        if character == separator and not quoted:
            pieces.append("".join(current))
            current = []
        else:
            current.append(character)
    pieces.append("".join(current))
    return pieces


def parse_line(number, text):
    """A logical line; None when it has no ':' outside quotes."""
    quoted = False
    for index, character in enumerate(text):
        if character == '"':
            quoted = not quoted
        elif character == ":" and not quoted:
            break
    else:
        return None
    head, value = text[:index], text[index + 1:]
    pieces = _split_unquoted(head, ";")
    group, _, name = pieces[0].rpartition(".")
    params = []
    for piece in pieces[1:]:
        key, equals, parameter = piece.partition("=")
        params.append((key.strip().upper(), parameter.strip('"') if equals else None))
    return ContentLine(number, name.strip().upper(), value, group, params)


def unfold(lines, continues):
    """Logical lines as (first line number, text); `continues(previous_text, line)` says whether a
    physical line continues the logical line before it and returns the text to append, else None."""
    logical = []
    for number, raw in enumerate(lines, 1):
        line = raw.decode("utf-8", "replace")
        if logical:
            addition = continues(logical[-1][1], line)
            if addition is not None:
                logical[-1] = (logical[-1][0], logical[-1][1] + addition)
                continue
        logical.append((number, line))
    return logical


def parse(logical, where, checker, findings):
    parsed = []
    for number, text in logical:
        if text == "":
            continue
        line = parse_line(number, text)
        if line is None:
            findings.add(where, checker, f"line {number} is not a content line (no ':'): {text[:60]!r}")
            continue
        parsed.append(line)
    return parsed


@dataclass
class Block:
    """A BEGIN:X ... END:X component with its own lines and nested blocks."""
    name: str
    begin: int
    lines: list = field(default_factory=list)
    children: list = field(default_factory=list)

    def first(self, name):
        return next((line for line in self.lines if line.name == name), None)

    def value(self, name):
        line = self.first(name)
        return line.value if line is not None else None

    def all(self, name):
        return [line for line in self.lines if line.name == name]

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()


def blocks(lines, where, checker, findings):
    """The top-level components; mismatched BEGIN/END and lines outside any component are reported."""
    top, stack = [], []
    for line in lines:
        if line.name == "BEGIN":
            block = Block(line.value.strip().upper(), line.number)
            (stack[-1].children if stack else top).append(block)
            stack.append(block)
        elif line.name == "END":
            name = line.value.strip().upper()
            if not stack or stack[-1].name != name:
                expected = stack[-1].name if stack else "nothing"
                findings.add(where, checker, f"line {line.number}: END:{name} closes {expected}")
                continue
            stack.pop()
        elif stack:
            stack[-1].lines.append(line)
        else:
            findings.add(where, checker, f"line {line.number}: {line.name} outside any BEGIN/END")
    for block in stack:
        findings.add(where, checker, f"BEGIN:{block.name} on line {block.begin} has no END")
    return top


def _folded(previous, line):
    return line[1:] if line[:1] in (" ", "\t") else None


def read_folded_utf8(data, where, checker, findings, max_octets=75):
    """Blocks of a UTF-8 body folded the iCalendar way: CRLF, lines of at most `max_octets` octets,
    a continuation line starts with one blank or tab that unfolding removes, and no fold splits a
    UTF-8 character."""
    lines = physical_lines(data, where, checker, findings)
    check_length(lines, max_octets, where, checker, findings)
    for number, line in enumerate(lines, 1):
        try:
            line.decode("utf-8")
        except UnicodeDecodeError:
            findings.add(where, checker, f"line {number} is not UTF-8 on its own (bad octets, or a fold "
                         "splits a character)")
            break
    return blocks(parse(unfold(lines, _folded), where, checker, findings), where, checker, findings)
