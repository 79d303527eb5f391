#!/usr/bin/python3
"""Reads back over IMAP what the Quillon stand-in (or any server with its extensions) holds for
every account: the folders with their classes, and each folder's messages with their flags,
internal dates and bytes. It logs in as an administrator with CRAM-MD5 and uses only the protocol:
ENABLE EXTENSIONS, LIST (CLASS) "" "~*", SELECT and FETCH.

    quillon_readback.py --port N [--host 127.0.0.1] [--user postmaster] --password PW
                        [--json] [--save DIR]

Without --json it prints a short report, one line per account and per folder, names decoded from
modified UTF-7. --json prints {"accounts": {ACCOUNT: [{"name", "path", "class", "messages":
[{"flags", "internal_date", "size", "file"}]}]}}, where "file" is set with --save: each message's
bytes are written there as N.eml, in the order listed."""

import argparse
import base64
import imaplib
import json
import os
import re
import sys

_LITERAL_END = re.compile(rb'\{(\d+)\}$')


class Tokens:
    """The words of a response: parenthesised lists, quoted strings (with the server's escapes),
    atoms and NIL."""

    ESCAPES = {'e': '\r\n', 'n': '\n', 'r': '\r', 't': '\t'}

    def __init__(self, text):
        self.text = text
        self.position = 0

    def skip_blanks(self):
        while self.position < len(self.text) and self.text[self.position] == ' ':
            self.position += 1

    def value(self):
        self.skip_blanks()
        character = self.text[self.position]
        if character == '(':
            self.position += 1
            items = []
            while True:
                self.skip_blanks()
                if self.text[self.position] == ')':
                    self.position += 1
                    return items
                items.append(self.value())
        if character == '"':
            return self.quoted()
        start = self.position
        while self.position < len(self.text) and self.text[self.position] not in ' ()':
            self.position += 1
        atom = self.text[start:self.position]
        return None if atom.upper() == 'NIL' else atom

    def quoted(self):
        self.position += 1
        out = []
        while self.text[self.position] != '"':
            character = self.text[self.position]
            if character == '\\':
                self.position += 1
                digits = re.match(r'[0-9]{1,3}', self.text[self.position:])
                if digits:
                    out.append(chr(int(digits.group(0))))
                    self.position += len(digits.group(0))
                    continue
                character = self.ESCAPES.get(self.text[self.position], self.text[self.position])
            out.append(character)
            self.position += 1
        self.position += 1
        return ''.join(out)


def decode_modified_utf7(name):
    """RFC 3501 modified UTF-7 to text: "&-" is "&", "&...-" modified Base64 of UTF-16."""
    out = []
    position = 0
    while position < len(name):
        if name[position] != '&':
            out.append(name[position])
            position += 1
            continue
        end = name.index('-', position)
        run = name[position + 1:end]
        if not run:
            out.append('&')
        else:
            padded = run.replace(',', '/') + '=' * (-len(run) % 4)
            out.append(base64.b64decode(padded).decode('utf-16-be'))
        position = end + 1
    return ''.join(out)


def quoted(name):
    return '"%s"' % name.replace('\\', '\\\\').replace('"', '\\"')


def folders(client):
    """(account, path below the account, class) of every selectable folder, in the server's order."""
    client.enable('EXTENSIONS')
    status, lines = client.list('(CLASS) ""', '"~*"')
    if status != 'OK':
        raise SystemExit('LIST failed: %r' % lines)
    found = []
    for line in lines:
        if line is None:
            continue
        tokens = Tokens(line.decode('utf-8', 'surrogateescape'))
        attributes = tokens.value()
        tokens.value()  # the delimiter
        name = tokens.value()
        if any(isinstance(word, str) and word.upper() == '\\NOSELECT' for word in attributes):
            continue
        folder_class = 'Default'
        for index, word in enumerate(attributes):
            if isinstance(word, str) and word.upper() == '\\CLASS' and index + 1 < len(attributes):
                folder_class = attributes[index + 1]
        account, _, path = name[1:].partition('/')
        found.append((account, path, folder_class))
    return found


def messages(client, account, path):
    """Each message of the folder as (flags, internal date, bytes)."""
    status, data = client.select(quoted('~%s/%s' % (account, path)))
    if status != 'OK':
        raise SystemExit('SELECT ~%s/%s failed: %r' % (account, path, data))
    if int(data[0]) == 0:
        return []
    status, data = client.fetch('1:*', '(FLAGS INTERNALDATE BODY.PEEK[])')
    if status != 'OK':
        raise SystemExit('FETCH in ~%s/%s failed: %r' % (account, path, data))
    found = []
    for item in data:
        if not isinstance(item, tuple):
            continue
        head, body = item
        text = head.decode('ascii', 'replace')
        flags = re.search(r'FLAGS \(([^)]*)\)', text).group(1).split()
        internal_date = re.search(r'INTERNALDATE "([^"]*)"', text).group(1)
        found.append((flags, internal_date, body))
    return found


def read_back(arguments):
    client = imaplib.IMAP4(arguments.host, arguments.port)
    client.login_cram_md5(arguments.user, arguments.password)
    accounts = {}
    saved = 0
    for account, path, folder_class in folders(client):
        entries = []
        for flags, internal_date, body in messages(client, account, path):
            entry = {'flags': flags, 'internal_date': internal_date, 'size': len(body)}
            if arguments.save:
                saved += 1
                entry['file'] = os.path.join(arguments.save, '%d.eml' % saved)
                with open(entry['file'], 'wb') as file:
                    file.write(body)
            entries.append(entry)
        accounts.setdefault(account, []).append({'name': decode_modified_utf7(path), 'path': path,
                                                 'class': folder_class, 'messages': entries})
    client.logout()
    return accounts


def report(accounts):
    lines = []
    for account in sorted(accounts, key=str.lower):
        folders_of_account = accounts[account]
        total = sum(len(folder['messages']) for folder in folders_of_account)
        lines.append('%s: %d folder(s), %d message(s)' % (account, len(folders_of_account), total))
        for folder in folders_of_account:
            lines.append('    %-28s %-16s %3d message(s)' % (folder['name'], folder['class'], len(folder['messages'])))
    return '\n'.join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--user', default='postmaster')
    parser.add_argument('--password', required=True)
    parser.add_argument('--json', action='store_true')
    parser.add_argument('--save', metavar='DIR')
    arguments = parser.parse_args(argv)
    accounts = read_back(arguments)
    print(json.dumps({'accounts': accounts}, indent=1, ensure_ascii=False) if arguments.json else report(accounts))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
