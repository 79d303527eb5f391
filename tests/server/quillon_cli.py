"""The CLI side of the Quillon stand-in: login (STLS, AUTH CRAM-MD5, USER/PASS) and the account
commands, one reply line per command."""

import base64
import binascii
import hmac
import os
import ssl
import time

from quillon_common import ConnectionClosed
from quillon_values import SyntaxFault, ValueReader, format_value

NAME = 'cli'
_BAD_NAME_CHARACTERS = set(' \t"&(){};,=\\')


class CliSession:
    """One client connection, from the greeting to QUIT or the end of the connection."""

    def __init__(self, context, connection, session_id):
        self.context = context
        self.connection = connection
        self.session_id = session_id
        self.user = None          # name given by USER, waiting for PASS
        self.logged_in = None     # the administrator's login name once logged in
        self.received = 0

    def run(self):
        self.connection.write_line('200 Quillon stand-in CLI ready')
        try:
            while True:
                raw = self.connection.read_line()
                if not self.answer(raw):
                    return
        except (ConnectionClosed, ssl.SSLError, OSError):
            return

    def answer(self, raw):
        """Handles one received line; False when the connection is to end."""
        line = raw.decode('utf-8', 'surrogateescape')
        self.received += 1
        self.context.log.write(session=self.session_id, protocol=NAME, secure=self.connection.secure,
                               line=line)
        action, reply = self.context.faults.action(line, self.received)
        if action == 'drop':
            return False
        if action == 'stall':
            self.connection.drain_until_closed(reply)
            return False
        if action == 'refuse':
            self.connection.write_line(reply)
            return True
        command, _, arguments = line.partition(' ')
        handler = getattr(self, 'do_' + command.lower(), None)
        if handler is None:
            self.connection.write_line('500 Unknown command')
            return True
        if command.lower() not in ('stls', 'auth', 'user', 'pass', 'quit') and not self.logged_in:
            self.connection.write_line('530 Please log in first')
            return True
        try:
            return handler(arguments)
        except SyntaxFault as fault:
            self.connection.write_line('501 Syntax error: %s' % fault)
            return True

    # Login.

    def do_stls(self, arguments):
        if self.connection.secure:
            self.connection.write_line('500 TLS is already active')
            return True
        if self.context.tls_context is None:
            self.connection.write_line('554 TLS is not configured')
            return True
        self.connection.write_line('200 Begin TLS negotiation')
        self.connection.start_tls(self.context.tls_context)
        return True

    def do_auth(self, arguments):
        if arguments.strip().upper() != 'CRAM-MD5':
            self.connection.write_line('504 Unsupported authentication mechanism')
            return True
        challenge = '<%d.%d@quillon.test>' % (os.getpid() * 1000 + self.session_id, time.time_ns())
        self.connection.write_line('+ ' + base64.b64encode(challenge.encode()).decode())
        response = self.connection.read_line().decode('utf-8', 'surrogateescape')
        self.context.log.write(session=self.session_id, protocol=NAME, secure=self.connection.secure,
                               line=response)
        try:
            decoded = base64.b64decode(response, validate=True).decode('utf-8')
        except (binascii.Error, UnicodeDecodeError):
            self.connection.write_line('501 Invalid CRAM-MD5 response')
            return True
        login, _, digest = decoded.rpartition(' ')
        password = self.context.admin_password(login)
        expected = None if password is None else hmac.new(
            password.encode(), challenge.encode(), 'md5').hexdigest()
        if expected is None or not hmac.compare_digest(expected, digest):
            self.connection.write_line('515 Authentication failed')
            return True
        self.logged_in = login
        self.connection.write_line('200 Logged in as %s' % login)
        return True

    def do_user(self, arguments):
        self.user = arguments
        self.connection.write_line('200 Send the password')
        return True

    def do_pass(self, arguments):
        if self.user is None:
            self.connection.write_line('503 USER first')
            return True
        password = self.context.admin_password(self.user)
        if password is None or not hmac.compare_digest(password.encode(), arguments.encode()):
            self.user = None
            self.connection.write_line('515 Authentication failed')
            return True
        self.logged_in, self.user = self.user, None
        self.connection.write_line('200 Logged in as %s' % self.logged_in)
        return True

    def do_quit(self, arguments):
        self.connection.write_line('200 Bye')
        return False

    # Accounts and groups.

    def do_createaccount(self, arguments):
        return self._create(arguments, 'accounts', {'aliases': []}, 'Account')

    def do_creategroup(self, arguments):
        return self._create(arguments, 'groups', {}, 'Group')

    def do_setaccountaliases(self, arguments):
        reader = ValueReader(arguments)
        name = self._read_name(reader)
        aliases = reader.read_array()
        self._expect_end(reader)

        def set_aliases(state, stored):
            for alias in aliases:
                if not isinstance(alias, str) or not _valid_name(alias):
                    return '512 Invalid alias'
                owner = state.find_account(alias) or state.find_alias_owner(alias)
                if owner is not None and owner != stored:
                    return '520 Alias %s is already in use' % alias
            state.data['accounts'][stored]['aliases'] = list(aliases)
            state.save()
            return '200 Aliases set'
        return self._with_account(name, set_aliases)

    def do_updateaccount(self, arguments):
        reader = ValueReader(arguments)
        name = self._read_name(reader)
        settings = reader.read_dictionary()
        self._expect_end(reader)

        def update(state, stored):
            state.data['accounts'][stored]['settings'].update(settings)
            state.save()
            return '200 Account updated'
        return self._with_account(name, update)

    def do_getaccountsettings(self, arguments):
        return self._read_back(arguments, lambda account: account['settings'])

    def do_getaccountaliases(self, arguments):
        return self._read_back(arguments, lambda account: account['aliases'])

    def _create(self, arguments, kind, record, noun):
        """CreateAccount and CreateGroup: a name no account, alias or group has yet."""
        reader = ValueReader(arguments)
        name = self._read_name(reader)
        settings = self._read_optional_dictionary(reader)
        state = self.context.state
        with state.lock:
            if state.find_account(name) or state.find_alias_owner(name) or name.lower() in (
                    group.lower() for group in state.data['groups']):
                self.connection.write_line('520 %s %s already exists' % (noun, name))
                return True
            state.data[kind][name] = dict(settings=settings, **record)
            state.save()
        self.connection.write_line('200 %s created' % noun)
        return True

    def _read_back(self, arguments, part):
        reader = ValueReader(arguments)
        name = self._read_name(reader)
        self._expect_end(reader)
        return self._with_account(
            name, lambda state, stored: '201 ' + format_value(part(state.data['accounts'][stored])))

    def _with_account(self, name, work):
        """Runs work(state, stored name) under the state's lock when the account exists and answers
        with the reply it gives; 513 when there is no such account."""
        state = self.context.state
        with state.lock:
            stored = state.find_account(name)
            reply = '513 Unknown account %s' % name if stored is None else work(state, stored)
        self.connection.write_line(reply)
        return True

    # Argument helpers.

    def _read_name(self, reader):
        if reader.at_end():
            raise SyntaxFault('name expected')
        name = reader.read_string() if reader.peek() == '"' else reader.read_atom()
        if not _valid_name(name):
            raise SyntaxFault('invalid name %r' % name)
        return name

    def _read_optional_dictionary(self, reader):
        settings = {} if reader.at_end() else reader.read_dictionary()
        self._expect_end(reader)
        return settings

    @staticmethod
    def _expect_end(reader):
        if not reader.at_end():
            raise SyntaxFault('unexpected text %r' % reader.rest())


def _valid_name(name):
    return bool(name) and not any(character in _BAD_NAME_CHARACTERS or ord(character) < 32
                                  for character in name)
