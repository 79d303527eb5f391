"""Values of the Quillon administration protocol: strings, atoms, (arrays) and {dictionaries}."""

import re

_ATOM_STOP = set(' \t;,(){}"=')
_DIGITS = re.compile(r'[0-9]{3}')


def read_quoted(text, position, escape):
    """The string between double quotes whose text starts at `position` (after the opening quote)
    and the position after its closing quote; None when it is not closed. `escape(text, position)`
    reads what follows a backslash at `position` and gives the characters and the position after."""
    out = []
    while position < len(text):
        character = text[position]
        position += 1
        if character == '"':
            return ''.join(out), position
        if character != '\\':
            out.append(character)
            continue
        if position >= len(text):
            break
        characters, position = escape(text, position)
        out.append(characters)
    return None


def _cli_escape(text, position):
    # A backslash and three decimal digits stand for the character with that code; a backslash
    # before anything else makes it literal.
    digits = _DIGITS.match(text, position)
    if digits:
        return chr(int(digits.group(0))), digits.end()
    return text[position], position + 1


class SyntaxFault(ValueError):
    """The command's arguments do not follow the value grammar."""


class ValueReader:
    """Reads values one after another from the text of one command line."""

    def __init__(self, text):
        self.text = text
        self.position = 0

    def skip_blanks(self):
        while self.position < len(self.text) and self.text[self.position] in ' \t':
            self.position += 1

    def at_end(self):
        self.skip_blanks()
        return self.position >= len(self.text)

    def rest(self):
        self.skip_blanks()
        return self.text[self.position:]

    def expect(self, character):
        self.skip_blanks()
        if not self.text.startswith(character, self.position):
            raise SyntaxFault('"%s" expected at position %d' % (character, self.position))
        self.position += 1

    def peek(self):
        self.skip_blanks()
        return self.text[self.position] if self.position < len(self.text) else ''

    def read_value(self):
        """A quoted string or an atom (as str), an array (list) or a dictionary (dict)."""
        character = self.peek()
        if character == '"':
            return self.read_string()
        if character == '(':
            return self.read_array()
        if character == '{':
            return self.read_dictionary()
        return self.read_atom()

    def read_string(self):
        self.expect('"')
        read = read_quoted(self.text, self.position, _cli_escape)
        if read is None:
            raise SyntaxFault('unterminated string')
        value, self.position = read
        return value

    def read_atom(self):
        self.skip_blanks()
        out = []
        while self.position < len(self.text) and self.text[self.position] not in _ATOM_STOP:
            character = self.text[self.position]
            if character == '\\' and self.position + 1 < len(self.text):
                self.position += 1
                character = self.text[self.position]
            out.append(character)
            self.position += 1
        if not out:
            raise SyntaxFault('value expected at position %d' % self.position)
        return ''.join(out)

    def read_array(self):
        self.expect('(')
        items = []
        if self.peek() == ')':
            self.position += 1
            return items
        while True:
            items.append(self.read_value())
            if self.peek() == ',':
                self.position += 1
                continue
            self.expect(')')
            return items

    def read_dictionary(self):
        self.expect('{')
        entries = {}
        while self.peek() != '}':
            if not self.peek():
                raise SyntaxFault('unterminated dictionary')
            key = self.read_atom()
            self.expect('=')
            entries[key] = self.read_value()
            self.expect(';')
        self.position += 1
        return entries


def parse_value(text):
    """The one value that makes up all of `text`."""
    reader = ValueReader(text)
    value = reader.read_value()
    if not reader.at_end():
        raise SyntaxFault('unexpected text after the value: %r' % reader.rest())
    return value


def format_value(value):
    """The protocol form of a str, list or dict, as GetAccountSettings answers it."""
    if isinstance(value, dict):
        return '{' + ''.join('%s=%s;' % (_escape_key(key), format_value(item))
                             for key, item in value.items()) + '}'
    if isinstance(value, list):
        return '(' + ','.join(format_value(item) for item in value) + ')'
    return '"' + ''.join(_escape_character(character) for character in str(value)) + '"'


def _escape_character(character):
    if character in '"\\':
        return '\\' + character
    if ord(character) < 32:
        return '\\%03d' % ord(character)
    return character


def _escape_key(key):
    return ''.join('\\' + character if character in _ATOM_STOP or character == '\\' else character
                   for character in key)
