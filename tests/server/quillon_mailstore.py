"""Folders and messages of the Quillon stand-in's IMAP side, kept on disk under the state directory:
mail/ACCOUNT/FOLDER/SUBFOLDER/ with .folder.json (name, class, UID counters) and .messages/UID.eml
beside UID.json (flags, internal date, size)."""

import base64
import json
import os
import re
import threading
import time

from quillon_imap_syntax import CommandError

DEFAULT_CLASS = 'Default'
DELIMITER = '/'
_FOLDER_FILE = '.folder.json'
_MESSAGES = '.messages'


class Mailbox:
    """One resolved mailbox name: the account as stored, the path components, and whether the
    name carried the "~account/" prefix (replies use the same form)."""

    def __init__(self, account, components, prefixed):
        self.account = account
        self.components = components
        self.prefixed = prefixed

    @property
    def name(self):
        path = DELIMITER.join(self.components)
        if not self.prefixed:
            return path
        return '~' + self.account + (DELIMITER + path if path else '')

    @property
    def is_root(self):
        return not self.components


def check_modified_utf7(component):
    """Raises a NO unless `component` is valid modified UTF-7 (RFC 3501): printable ASCII, "&-" for
    "&", and "&...-" runs of modified Base64 holding UTF-16 of characters that are not printable
    ASCII."""
    position = 0
    while position < len(component):
        character = component[position]
        if not ' ' <= character <= '~':
            raise _invalid_name(component, 'character %r is not printable ASCII' % character)
        if character != '&':
            position += 1
            continue
        end = component.find('-', position + 1)
        if end < 0:
            raise _invalid_name(component, 'an "&" run has no closing "-"')
        _check_base64_run(component, component[position + 1:end])
        position = end + 1


def _check_base64_run(component, run):
    if not run:
        return
    if not re.fullmatch(r'[A-Za-z0-9+,]+', run) or len(run) % 4 == 1:
        raise _invalid_name(component, 'bad modified Base64 %r' % run)
    padded = run.replace(',', '/') + '=' * (-len(run) % 4)
    data = base64.b64decode(padded)
    if len(data) % 2 or base64.b64encode(data).decode().rstrip('=') != run.replace(',', '/'):
        raise _invalid_name(component, 'modified Base64 %r is not whole UTF-16 units' % run)
    try:
        text = data.decode('utf-16-be')
    except UnicodeDecodeError:
        raise _invalid_name(component, 'modified Base64 %r is not valid UTF-16' % run) from None
    if any(' ' <= character <= '~' for character in text):
        raise _invalid_name(component, 'printable ASCII inside %r' % run)


def _invalid_name(component, reason):
    return CommandError('NO', '[CANNOT] Invalid mailbox name %r: %s' % (component, reason))


class MailStore:
    """The folders and messages of every account, under DIRECTORY/mail."""

    def __init__(self, directory, state):
        self.root = os.path.join(directory, 'mail')
        self.state = state
        self.lock = threading.RLock()
        os.makedirs(self.root, exist_ok=True)

    # Names.

    def resolve(self, name, own_account):
        """The Mailbox that `name` means: "~ACCOUNT/PATH" for any account (an administrator's
        view), a plain PATH for `own_account`. Raises a NO for an unknown account or a bad name."""
        prefixed = name.startswith('~')
        if prefixed:
            account_name, _, path = name[1:].partition(DELIMITER)
            account = self.state.find_account(account_name)
        else:
            account, path = own_account, name
        if account is None or account in ('.', '..') or DELIMITER in account:
            raise CommandError('NO', '[NONEXISTENT] No such account in %r' % name)
        components = path.split(DELIMITER) if path else []
        if components and components[-1] == '':
            components.pop()   # a trailing delimiter only says that the folder may get children
        for component in components:
            if not component or component.startswith('.'):
                raise CommandError('NO', '[CANNOT] Invalid mailbox name %r' % name)
            check_modified_utf7(component)
        if components and components[0].lower() == 'inbox':
            components[0] = 'INBOX'
        return Mailbox(account, components, prefixed)

    def _directory(self, mailbox):
        return os.path.join(self.root, mailbox.account, *mailbox.components)

    # Folders.

    def exists(self, mailbox):
        """True for a folder on disk and for every account's INBOX, which always exists."""
        if mailbox.components == ['INBOX']:
            return True
        return os.path.isfile(os.path.join(self._directory(mailbox), _FOLDER_FILE))

    def folder(self, mailbox):
        """The folder's settings, written to disk first when the folder exists only implicitly."""
        with self.lock:
            path = os.path.join(self._directory(mailbox), _FOLDER_FILE)
            if not os.path.isfile(path):
                if not self.exists(mailbox):
                    raise CommandError('NO', '[NONEXISTENT] No such mailbox %s' % mailbox.name)
                self._write_folder(mailbox, self._new_settings(mailbox))
            with open(path, encoding='utf-8') as file:
                return json.load(file)

    def create(self, mailbox):
        """Creates the folder and any missing folder above it, each with the default class."""
        with self.lock:
            if mailbox.is_root:
                raise CommandError('NO', '[CANNOT] The account root cannot be created')
            if self.exists(mailbox):
                raise CommandError('NO', '[ALREADYEXISTS] Mailbox %s exists' % mailbox.name)
            for depth in range(1, len(mailbox.components) + 1):
                above = _above(mailbox, depth)
                if not self.exists(above):
                    self._write_folder(above, self._new_settings(above))

    def set_class(self, mailbox, folder_class):
        with self.lock:
            settings = self.folder(mailbox)
            settings['class'] = folder_class
            self._write_folder(mailbox, settings)

    def list(self, pattern, own_account):
        """(Mailbox, settings or None for a root) of every name that the LIST pattern matches."""
        matcher = _pattern_regex(pattern)
        prefixed = pattern.startswith('~')
        with self.state.lock:
            accounts = sorted(self.state.data['accounts']) if prefixed else [own_account] if own_account else []
        found = []
        with self.lock:
            for account in accounts:
                if account in ('.', '..') or DELIMITER in account:
                    continue
                for components in self._folder_paths(account):
                    mailbox = Mailbox(account, components, prefixed)
                    if matcher.fullmatch(mailbox.name):
                        found.append((mailbox, None if mailbox.is_root else self.folder(mailbox)))
        return found

    def _folder_paths(self, account):
        """The root, INBOX and every folder on disk of `account`, parents before children."""
        paths = [[], ['INBOX']]
        top = os.path.join(self.root, account)
        for directory, subdirectories, files in os.walk(top):
            subdirectories[:] = sorted(name for name in subdirectories if not name.startswith('.'))
            components = os.path.relpath(directory, top).split(os.sep)
            if _FOLDER_FILE in files and components != ['INBOX']:
                paths.append(components)
        return paths

    @staticmethod
    def _new_settings(mailbox):
        return {'name': Mailbox(mailbox.account, mailbox.components, True).name, 'class': DEFAULT_CLASS,
                'uidvalidity': int(time.time()), 'uidnext': 1}

    def _write_folder(self, mailbox, settings):
        directory = self._directory(mailbox)
        try:
            os.makedirs(os.path.join(directory, _MESSAGES), exist_ok=True)
            _write_json(os.path.join(directory, _FOLDER_FILE), settings)
        except OSError as error:
            # A name that the file system cannot hold (too long, say) is refused, not fatal.
            raise CommandError('NO', '[CANNOT] Cannot store %s: %s' % (mailbox.name, error.strerror)) from None

    # Messages.

    def append(self, mailbox, data, flags, internal_date):
        """Stores one message; returns (UIDVALIDITY, UID)."""
        with self.lock:
            settings = self.folder(mailbox)
            uid = settings['uidnext']
            messages = os.path.join(self._directory(mailbox), _MESSAGES)
            with open(os.path.join(messages, '%d.eml' % uid), 'wb') as file:
                file.write(data)
            _write_json(os.path.join(messages, '%d.json' % uid), {
                'uid': uid, 'flags': flags, 'internal_date': internal_date, 'size': len(data)})
            settings['uidnext'] = uid + 1
            self._write_folder(mailbox, settings)
            return settings['uidvalidity'], uid

    def messages(self, mailbox):
        """The records of the folder's messages in UID order, each with 'path' added."""
        with self.lock:
            directory = os.path.join(self._directory(mailbox), _MESSAGES)
            if not os.path.isdir(directory):
                return []
            uids = sorted(int(name[:-5]) for name in os.listdir(directory) if name.endswith('.json'))
            records = []
            for uid in uids:
                with open(os.path.join(directory, '%d.json' % uid), encoding='utf-8') as file:
                    record = json.load(file)
                record['path'] = os.path.join(directory, '%d.eml' % uid)
                records.append(record)
            return records


def _above(mailbox, depth):
    return Mailbox(mailbox.account, mailbox.components[:depth], mailbox.prefixed)


def _pattern_regex(pattern):
    """A regular expression for a LIST pattern: "*" matches anything, "%" anything but the
    delimiter; the account part of "~ACCOUNT/..." and a top-level INBOX ignore case."""
    pieces = []
    account_end = pattern.find(DELIMITER) if pattern.startswith('~') else 0
    if account_end < 0:
        account_end = len(pattern)
    for index, character in enumerate(pattern):
        piece = '.*' if character == '*' else '[^/]*' if character == '%' else re.escape(character)
        pieces.append('(?i:%s)' % piece if index < account_end else piece)
    inbox_start = account_end + 1 if pattern.startswith('~') else 0
    inbox = pattern[inbox_start:].split(DELIMITER)[0]
    if inbox.lower() == 'inbox':
        pieces[inbox_start:inbox_start + 5] = ['(?i:%s)' % re.escape(character) for character in inbox]
    return re.compile(''.join(pieces), re.DOTALL)


def _write_json(path, value):
    temporary = path + '.tmp'
    with open(temporary, 'w', encoding='utf-8') as file:
        json.dump(value, file, indent=2, sort_keys=True)
        file.write('\n')
    os.replace(temporary, path)
