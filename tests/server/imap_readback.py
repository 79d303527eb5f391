#!/usr/bin/python3
"""Reads back over standard IMAP what a server holds for each account, logged in as that account
(STARTTLS, LOGIN): the folders with their SPECIAL-USE attributes and the folder class kept in the
METADATA entry /shared/vendor/vendor.ex2qln/class, and each folder's messages with their flags,
internal dates and bytes.

    imap_readback.py --port N --cafile PEM --account NAME:PASSWORD... --save DIR

Prints {"accounts": {NAME: [{"path", "class", "special_use", "messages": [{"flags",
"internal_date", "file"}]}]}}: "class" is null without the entry, "path" is the name as listed
(modified UTF-7) and each message's bytes are written to DIR as N.eml, in the order listed."""

import argparse
import imaplib
import json
import os
import re
import ssl
import sys

CLASS_ENTRY = '/shared/vendor/vendor.ex2qln/class'
_LIST = re.compile(r'^\((?P<attributes>[^)]*)\) (?:"(?:[^"\\]|\\.)"|NIL) (?P<name>.+)$')
_FETCH = re.compile(rb'FLAGS \((?P<flags>[^)]*)\) INTERNALDATE "(?P<date>[^"]+)"')

imaplib.Commands.setdefault('GETMETADATA', ('AUTH', 'SELECTED'))


def unquote(text):
    if text.startswith('"') and text.endswith('"'):
        return re.sub(r'\\(.)', r'\1', text[1:-1])
    return text


def check(response, what):
    status, data = response
    if status != 'OK':
        raise RuntimeError('%s: %s %r' % (what, status, data))
    return data


def folder_class(connection, path):
    data = check(connection._simple_command('GETMETADATA', connection._quote(path), CLASS_ENTRY), 'GETMETADATA')
    data = connection._untagged_response('OK', data, 'METADATA')[1]
    for item in data:
        if isinstance(item, tuple):
            return item[1].decode('utf-8')
        if item is not None and CLASS_ENTRY.encode() in item and b'NIL' not in item.split(CLASS_ENTRY.encode())[1]:
            value = item.split(CLASS_ENTRY.encode())[1].strip().rstrip(b')').strip()
            return unquote(value.decode('utf-8'))
    return None


def messages(connection, path, save, counter):
    count = int(check(connection.select(connection._quote(path), readonly=True), 'SELECT ' + path)[0])
    found = []
    if count == 0:
        return found
    data = check(connection.fetch('1:*', '(FLAGS INTERNALDATE BODY.PEEK[])'), 'FETCH ' + path)
    for item in data:
        if not isinstance(item, tuple):
            continue
        match = _FETCH.search(item[0])
        name = os.path.join(save, '%d.eml' % counter[0])
        counter[0] += 1
        with open(name, 'wb') as output:
            output.write(item[1])
        flags = [f for f in match.group('flags').decode().split() if f != '\\Recent']
        found.append({'flags': flags, 'internal_date': match.group('date').decode(), 'file': name})
    return found


def read_account(port, context, name, password, save, counter):
    connection = imaplib.IMAP4('127.0.0.1', port)
    connection.starttls(ssl_context=context)
    connection.login(name, password)
    folders = []
    for line in check(connection.list('""', '*'), 'LIST'):
        match = _LIST.match(line.decode('utf-8'))
        attributes = match.group('attributes').split()
        path = unquote(match.group('name'))
        if path.startswith('~'):
            continue  # another account's folder, reached through the shared namespace
        special = [a for a in attributes if a in ('\\Sent', '\\Trash', '\\Drafts', '\\Junk', '\\Archive')]
        folders.append({'path': path, 'class': folder_class(connection, path), 'special_use': special,
                        'messages': [] if '\\Noselect' in attributes else messages(connection, path, save, counter)})
    connection.logout()
    return sorted(folders, key=lambda folder: folder['path'])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--cafile', required=True)
    parser.add_argument('--account', action='append', default=[])
    parser.add_argument('--save', required=True)
    arguments = parser.parse_args()
    context = ssl.create_default_context(cafile=arguments.cafile)
    counter = [0]
    accounts = {}
    for account in arguments.account:
        name, password = account.split(':', 1)
        accounts[name] = read_account(arguments.port, context, name, password, arguments.save, counter)
    json.dump({'accounts': accounts}, sys.stdout, indent=1)
    return 0


if __name__ == '__main__':
    sys.exit(main())
