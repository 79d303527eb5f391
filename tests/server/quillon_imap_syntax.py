"""IMAP syntax of the Quillon stand-in: reading command arguments (atoms, quoted strings with the
server's escapes, literals, parenthesised lists), writing strings back, flags and dates."""

import datetime
import re

from quillon_values import read_quoted

# Large enough for a message with a 100 MB attachment in Base64.
MAX_LITERAL = 1 << 30

# Characters that end an atom (RFC 3501 atom-specials without "]", which astrings allow).
_ATOM_STOP = set('(){ %*"\\')
_LITERAL_AT_END = re.compile(r'\{([0-9]+)(\+?)\}$')
_MONTHS = ('Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov', 'Dec')
_DATE_TIME = re.compile(r'^( [0-9]|[0-9]{1,2})-([A-Za-z]{3})-([0-9]{4}) '
                        r'([0-9]{2}):([0-9]{2}):([0-9]{2}) ([+-])([0-9]{2})([0-9]{2})$')
SYSTEM_FLAGS = ('\\Answered', '\\Flagged', '\\Deleted', '\\Seen', '\\Draft')


class CommandError(Exception):
    """A command that cannot be carried out: `status` is "NO" or "BAD", `text` the reply text
    (with its response code, if any)."""

    def __init__(self, status, text):
        super().__init__(text)
        self.status = status
        self.text = text


def _imap_escape(text, position):
    # Up to three decimal digits are the character with that code; "e" is CR LF, "n", "r" and "t"
    # are LF, CR and TAB, and any other character stands for itself.
    digits = re.match(r'[0-9]{1,3}', text[position:])
    if digits and int(digits.group(0)) < 256:
        return chr(int(digits.group(0))), position + len(digits.group(0))
    escaped = text[position]
    return {'e': '\r\n', 'n': '\n', 'r': '\r', 't': '\t'}.get(escaped, escaped), position + 1


def bad(text):
    return CommandError('BAD', text)


def literal_at_end(line):
    """(size, synchronising) when the line ends in a literal announcement, else None."""
    match = _LITERAL_AT_END.search(line)
    if not match:
        return None
    return int(match.group(1)), not match.group(2)


class ArgumentReader:
    """Reads the arguments of one command, fetching literals and the lines after them through
    `source`, which offers `literal(size, synchronising)` (the literal's bytes) and `next_line()`
    (the command's next line, as text)."""

    def __init__(self, line, position, source):
        self.text = line
        self.position = position
        self.source = source

    def at_end(self):
        return self.position >= len(self.text)

    def peek(self):
        return self.text[self.position] if self.position < len(self.text) else ''

    def space(self):
        if self.peek() != ' ':
            raise bad('Blank expected at position %d' % self.position)
        self.position += 1

    def end(self):
        """The command must end here, as RFC 3501 has it: a blank before the line end (after a
        literal too) is refused, as strict servers do."""
        if self.position < len(self.text):
            raise bad('Unexpected text %r at the end of the command' % self.text[self.position:])

    def atom(self, extra_stop='', wildcards=False):
        """An atom; with `wildcards`, "%" and "*" belong to it (LIST patterns, sequence sets)."""
        start = self.position
        while self.position < len(self.text):
            character = self.text[self.position]
            if wildcards and character in '%*':
                self.position += 1
                continue
            if character in _ATOM_STOP or character in extra_stop or ord(character) < 32 or ord(character) == 127:
                break
            self.position += 1
        if self.position == start:
            raise bad('Atom expected at position %d' % start)
        return self.text[start:self.position]

    def word(self):
        """An atom that may begin with a backslash, as flags and LIST attributes do."""
        if self.peek() == '\\':
            self.position += 1
            return '\\' + self.atom(')')
        return self.atom(')')

    def astring(self, wildcards=False):
        """An atom, a quoted string or a literal, as text."""
        character = self.peek()
        if character == '"':
            return self.quoted()
        if character == '{':
            return self.literal().decode('utf-8', 'surrogateescape')
        return self.atom(wildcards=wildcards)

    def quoted(self):
        """A quoted string. A backslash escapes the next character; as in the server's replies,
        "\\e" is CR LF, "\\n", "\\r" and "\\t" are LF, CR and TAB, and up to three decimal digits
        are the character with that code."""
        if self.peek() != '"':
            raise bad('Quoted string expected at position %d' % self.position)
        read = read_quoted(self.text, self.position + 1, _imap_escape)
        if read is None:
            raise bad('Unterminated quoted string')
        value, self.position = read
        return value

    def literal(self, check=None):
        """The bytes of a literal announced at the end of the current line; reading continues on
        the line that follows them."""
        announced = literal_at_end(self.text)
        if self.peek() != '{' or announced is None or _LITERAL_AT_END.search(self.text).start() != self.position:
            raise bad('Literal expected at position %d' % self.position)
        size, synchronising = announced
        if check is not None:
            check()
        data = self.source.literal(size, synchronising)
        self.text = self.source.next_line()
        self.position = 0
        return data

    def flag_list(self):
        """A parenthesised list of flags separated by single blanks, each a system flag (in its
        usual spelling) or a keyword."""
        if self.peek() != '(':
            raise bad('Flag list expected at position %d' % self.position)
        self.position += 1
        flags = []
        while self.peek() != ')':
            if flags:
                self.space()
            flags.append(canonical_flag(self.word()))
        self.position += 1
        return flags

    def parenthesised_atoms(self):
        """A parenthesised list of blank-separated atoms, possibly empty."""
        if self.peek() != '(':
            raise bad('"(" expected at position %d' % self.position)
        self.position += 1
        items = []
        while self.peek() != ')':
            if items:
                self.space()
            items.append(self.atom(')'))
        self.position += 1
        return items


def canonical_flag(word):
    if word.startswith('\\'):
        for flag in SYSTEM_FLAGS:
            if word.lower() == flag.lower():
                return flag
        raise bad('Flag %s cannot be set' % word)
    return word


def quote(text):
    """A string in the server's quoted form: a backslash before a quote or a backslash, "\\e" for
    CR LF, "\\n", "\\r", "\\t", and three decimal digits for other control characters."""
    out = ['"']
    position = 0
    while position < len(text):
        character = text[position]
        if text.startswith('\r\n', position):
            out.append('\\e')
            position += 2
            continue
        if character in '"\\':
            out.append('\\' + character)
        elif character in '\n\r\t':
            out.append({'\n': '\\n', '\r': '\\r', '\t': '\\t'}[character])
        elif ord(character) < 32 or ord(character) == 127:
            out.append('\\%03d' % ord(character))
        else:
            out.append(character)
        position += 1
    out.append('"')
    return ''.join(out)


def parse_date_time(text):
    """The canonical form (two-digit day, English month) of an IMAP date-time, or a BAD error."""
    match = _DATE_TIME.match(text)
    month = match and next((index for index, name in enumerate(_MONTHS, 1)
                            if name.lower() == match.group(2).lower()), None)
    if not match or not month:
        raise bad('Invalid date-time %r' % text)
    day, year, hour, minute, second = (int(match.group(index)) for index in (1, 3, 4, 5, 6))
    try:
        datetime.datetime(year, month, day, hour, minute, second)
    except ValueError:
        raise bad('Invalid date-time %r' % text) from None
    if int(match.group(8)) > 23 or int(match.group(9)) > 59:
        raise bad('Invalid time zone in %r' % text)
    return '%02d-%s-%04d %02d:%02d:%02d %s%s%s' % (day, _MONTHS[month - 1], year, hour, minute, second,
                                                   match.group(7), match.group(8), match.group(9))


def now_date_time():
    now = datetime.datetime.now(datetime.timezone.utc)
    return '%02d-%s-%04d %02d:%02d:%02d +0000' % (now.day, _MONTHS[now.month - 1], now.year,
                                                  now.hour, now.minute, now.second)


def parse_sequence_set(text, count):
    """The message numbers (1 to count) of a sequence set such as "1", "2:4", "3:*" or "1,5"."""
    numbers = set()
    for part in text.split(','):
        bounds = part.split(':')
        if len(bounds) > 2 or not all(bound == '*' or bound.isdigit() and int(bound) > 0 for bound in bounds):
            raise bad('Invalid sequence set %r' % text)
        values = [count if bound == '*' else int(bound) for bound in bounds]
        if min(values) < 1 or max(values) > count:
            raise bad('No such message in %r' % text)
        numbers.update(range(min(values), max(values) + 1))
    return sorted(numbers)
