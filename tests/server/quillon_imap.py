"""The IMAP side of the Quillon stand-in: login (STARTTLS, AUTHENTICATE CRAM-MD5, LOGIN), the
server's extensions (ENABLE EXTENSIONS, GETMAILTRAILER, LIST (CLASS), SETCLASS), CREATE, APPEND,
and SELECT and FETCH for checking, over the "~account/path" namespace of the mail store."""

import base64
import binascii
import hmac
import os
import re
import ssl
import time

from quillon_common import ConnectionClosed
from quillon_imap_syntax import (MAX_LITERAL, ArgumentReader, CommandError, bad, literal_at_end,
                                 now_date_time, parse_date_time, parse_sequence_set, quote)
from quillon_mailstore import MailStore

NAME = 'imap'
TLS_NAME = 'imaps'
DEFAULT_REFUSAL = 'NO Command refused on request'
DEFAULT_INVALID_REPLY = '?? Invalid reply on request'
_TAG = re.compile(r'[^(){ %*"\\+\x00-\x1f\x7f]+')
_FETCH_ITEMS = ('FLAGS', 'INTERNALDATE', 'RFC822.SIZE', 'UID', 'BODY[]', 'BODY.PEEK[]')
# Commands by the state in which they are valid.
_ANY_STATE = {'capability', 'noop', 'logout'}
_NOT_AUTHENTICATED = {'starttls', 'authenticate', 'login'}


def add_arguments(parser):
    parser.add_argument('--mail-trailer', metavar='TEXT',
                        help='IMAP: the trailer GETMAILTRAILER answers with (default: none)')
    parser.add_argument('--mail-trailer-file', metavar='FILE',
                        help='IMAP: read the trailer from FILE, byte for byte')
    parser.add_argument('--mail-trailer-literal', action='store_true',
                        help='IMAP: send the trailer as a literal instead of a quoted string')
    parser.add_argument('--alert', metavar='TEXT',
                        help='IMAP: send "* OK [ALERT] TEXT" before the reply to a successful login')
    parser.add_argument('--pause', type=float, default=0.0, metavar='SECONDS',
                        help='IMAP: wait SECONDS halfway through each literal, and again after storing '
                             'an appended message before answering (a slow server, for kill tests)')


def configure(context, arguments):
    """Adds what the IMAP sessions share to the server context."""
    trailer = None
    if arguments.mail_trailer_file:
        with open(arguments.mail_trailer_file, 'rb') as file:
            trailer = file.read()
    elif arguments.mail_trailer is not None:
        trailer = arguments.mail_trailer.encode('utf-8', 'surrogateescape')
    context.mail_store = MailStore(arguments.state_dir, context.state)
    context.mail_trailer = trailer
    context.mail_trailer_literal = arguments.mail_trailer_literal
    context.login_alert = arguments.alert
    context.pause = arguments.pause


class ImapSession:
    """One client connection, from the greeting to LOGOUT or the end of the connection."""

    NAME = NAME
    IMPLICIT_TLS = False

    def __init__(self, context, connection, session_id):
        self.context = context
        self.connection = connection
        self.session_id = session_id
        self.login = None           # the administrator's login name once logged in
        self.own_account = None     # the account that names without "~" address
        self.extensions = False     # ENABLE EXTENSIONS was received
        self.selected = None
        self.commands = 0
        self.tag = None
        self.closing = False        # LOGOUT was answered

    def run(self):
        self.connection.write_line('* OK Quillon stand-in IMAP ready')
        try:
            while self.answer(self.next_line()):
                pass
        except (ConnectionClosed, ssl.SSLError, OSError):
            return

    # What the argument reader needs: the command's next line and its literals.

    def next_line(self):
        line = self.connection.read_line().decode('utf-8', 'surrogateescape')
        self._log(line=line)
        return line

    def literal(self, size, synchronising):
        if size > MAX_LITERAL:
            if synchronising:
                raise bad('Literal too large')
            self.connection.write_line('* BYE Literal too large')
            raise ConnectionClosed('literal too large')
        if synchronising:
            self.connection.write_line('+ Ready for literal data')
        if self.context.pause and size > 1:
            half = self.connection.read_bytes(size // 2)
            time.sleep(self.context.pause)
            data = half + self.connection.read_bytes(size - size // 2)
        else:
            data = self.connection.read_bytes(size)
        self._log(literal=size)
        return data

    def _log(self, **entry):
        self.context.log.write(session=self.session_id, protocol=self.NAME, secure=self.connection.secure,
                               **entry)

    # One command.

    def answer(self, line):
        """Handles one command that begins with `line`; False when the connection is to end."""
        tag, blank, rest = line.partition(' ')
        if not _TAG.fullmatch(tag) or not blank:
            self._skip_literals(line)
            self.connection.write_line('* BAD Missing or invalid tag')
            return True
        self.commands += 1
        self.tag = tag
        fault = self._inject_fault(line, rest)
        if fault is not None:
            return fault
        command = rest.partition(' ')[0].lower()
        reader = ArgumentReader(line, len(tag) + 1 + len(command), self)
        try:
            self._check_state(command)
            reply = getattr(self, 'do_' + command)(reader)
        except CommandError as error:
            self._skip_literals(reader.text)
            self.connection.write_line('%s %s %s' % (tag, error.status, error.text))
            return True
        if reply is not None:
            self.connection.write_line('%s %s' % (tag, reply))
        return not self.closing

    def _inject_fault(self, line, rest):
        """Acts on a fault asked for this command: None when the command is to run as usual,
        True when the fault answered it, False when the connection is to end."""
        kind, plan = self.context.faults.match(rest, self.commands,
                                               ('drop', 'stall', 'drop_literal', 'invalid', 'refuse'))
        if kind is None:
            return None
        if kind == 'stall':
            self.connection.drain_until_closed(None if plan.get('stall_for') is None else float(plan['stall_for']))
        if kind == 'drop_literal':
            announced = literal_at_end(line)
            if announced:
                if announced[1]:
                    self.connection.write_line('+ Ready for literal data')
                self.connection.read_bytes(announced[0] // 2)
        if kind in ('drop', 'stall', 'drop_literal'):
            return False
        self._skip_literals(line)
        if kind == 'invalid':
            self.connection.write_line(plan.get('invalid_reply') or DEFAULT_INVALID_REPLY)
        else:
            self.connection.write_line('%s %s' % (self.tag, plan.get('imap_refuse_reply') or DEFAULT_REFUSAL))
        return True

    def _skip_literals(self, line):
        """Reads what a client sends unasked after a refused command: the data of
        non-synchronising literals and the lines after them. A synchronising literal is never
        sent, since the client waits for the go-ahead that does not come."""
        announced = literal_at_end(line)
        while announced and not announced[1]:
            self.literal(announced[0], False)
            announced = literal_at_end(self.next_line())

    def _check_state(self, command):
        if not hasattr(self, 'do_' + command):
            raise bad('Unknown command')
        if command in _ANY_STATE:
            return
        if command in _NOT_AUTHENTICATED:
            if self.login:
                raise bad('Already logged in')
            return
        if not self.login:
            raise bad('Please log in first')
        if command == 'fetch' and self.selected is None:
            raise bad('No mailbox selected')

    def _require_extensions(self):
        if not self.extensions:
            raise bad('ENABLE EXTENSIONS first')

    # Any state.

    def do_capability(self, reader):
        reader.end()
        capabilities = 'IMAP4rev1 LITERAL+ ENABLE AUTH=CRAM-MD5'
        if self.context.tls_context is not None and not self.connection.secure:
            capabilities += ' STARTTLS'
        self.connection.write_line('* CAPABILITY ' + capabilities)
        return 'OK CAPABILITY completed'

    def do_noop(self, reader):
        reader.end()
        return 'OK NOOP completed'

    def do_logout(self, reader):
        reader.end()
        self.connection.write_line('* BYE Quillon stand-in IMAP closing')
        self.closing = True
        return 'OK LOGOUT completed'

    # Login.

    def do_starttls(self, reader):
        reader.end()
        if self.connection.secure:
            raise bad('TLS is already active')
        if self.context.tls_context is None:
            raise CommandError('NO', 'TLS is not configured')
        self.connection.write_line(self.tag + ' OK Begin TLS negotiation now')
        self.connection.start_tls(self.context.tls_context)
        return None

    def do_authenticate(self, reader):
        reader.space()
        mechanism = reader.atom()
        reader.end()
        if mechanism.upper() != 'CRAM-MD5':
            raise CommandError('NO', 'Unsupported authentication mechanism')
        challenge = '<%d.%d@quillon.test>' % (os.getpid() * 1000 + self.session_id, time.time_ns())
        self.connection.write_line('+ ' + base64.b64encode(challenge.encode()).decode())
        response = self.next_line()
        if response == '*':
            raise bad('Authentication cancelled')
        try:
            decoded = base64.b64decode(response, validate=True).decode('utf-8')
        except (binascii.Error, UnicodeDecodeError):
            raise bad('Invalid CRAM-MD5 response') from None
        login, _, digest = decoded.rpartition(' ')
        password = self.context.admin_password(login)
        expected = None if password is None else hmac.new(
            password.encode(), challenge.encode(), 'md5').hexdigest()
        if expected is None or not hmac.compare_digest(expected, digest):
            raise CommandError('NO', '[AUTHENTICATIONFAILED] Authentication failed')
        return self._logged_in(login, 'AUTHENTICATE')

    def do_login(self, reader):
        reader.space()
        login = reader.astring()
        reader.space()
        given = reader.astring()
        reader.end()
        password = self.context.admin_password(login)
        if password is None or not hmac.compare_digest(password.encode(), given.encode('utf-8', 'surrogateescape')):
            raise CommandError('NO', '[AUTHENTICATIONFAILED] Authentication failed')
        return self._logged_in(login, 'LOGIN')

    def _logged_in(self, login, command):
        self.login = login
        self.own_account = self.context.state.find_account(login)
        if self.context.login_alert:
            self.connection.write_line('* OK [ALERT] ' + self.context.login_alert)
        return 'OK %s completed' % command

    # Extensions.

    def do_enable(self, reader):
        reader.space()
        requested = [reader.atom()]
        while not reader.at_end():
            reader.space()
            requested.append(reader.atom())
        enabled = [name for name in requested if name.upper() == 'EXTENSIONS']
        self.extensions = self.extensions or bool(enabled)
        self.connection.write_line(' '.join(['* ENABLED'] + enabled[:1]))
        return 'OK ENABLE completed'

    def do_getmailtrailer(self, reader):
        reader.end()
        self._require_extensions()
        trailer = self.context.mail_trailer
        if trailer is not None and self.context.mail_trailer_literal:
            self.connection.write_bytes(b'* MAILTRAILER {%d}\r\n%s\r\n' % (len(trailer), trailer))
        elif trailer is not None:
            self.connection.write_line('* MAILTRAILER ' + quote(trailer.decode('utf-8', 'surrogateescape')))
        return 'OK GETMAILTRAILER completed'

    def do_setclass(self, reader):
        reader.space()
        name = reader.astring()
        reader.space()
        folder_class = reader.astring()
        reader.end()
        self._require_extensions()
        if not folder_class:
            raise bad('Empty class')
        mailbox = self._resolve(name)
        self.context.mail_store.set_class(mailbox, folder_class)
        return 'OK SETCLASS completed'

    # Folders and messages.

    def do_list(self, reader):
        reader.space()
        options = []
        if reader.peek() == '(':
            options = [option.upper() for option in reader.parenthesised_atoms()]
            reader.space()
        if any(option != 'CLASS' for option in options):
            raise bad('Unknown LIST selection option')
        if options:
            self._require_extensions()
        reference = reader.astring()
        reader.space()
        pattern = reader.astring(wildcards=True)
        reader.end()
        if not pattern:
            self.connection.write_line('* LIST (\\Noselect) "/" ""')
            return 'OK LIST completed'
        if reference and not pattern.startswith('~'):
            pattern = reference + pattern
        for mailbox, settings in self.context.mail_store.list(pattern, self.own_account):
            attributes = []
            if settings is None:
                attributes.append('\\Noselect')
            elif options:
                attributes += ['\\CLASS', quote(settings['class'])]
            self.connection.write_line('* LIST (%s) "/" %s' % (' '.join(attributes), quote(mailbox.name)))
        return 'OK LIST completed'

    def do_create(self, reader):
        reader.space()
        name = reader.astring()
        reader.end()
        self.context.mail_store.create(self._resolve(name))
        return 'OK CREATE completed'

    def do_append(self, reader):
        reader.space()
        mailbox = self._resolve(reader.astring())
        reader.space()
        flags = []
        if reader.peek() == '(':
            flags = list(dict.fromkeys(reader.flag_list()))
            reader.space()
        date = None
        if reader.peek() == '"':
            date = parse_date_time(reader.quoted())
            reader.space()
        store = self.context.mail_store

        def check_mailbox():
            if mailbox.is_root or not store.exists(mailbox):
                raise CommandError('NO', '[TRYCREATE] No such mailbox %s' % mailbox.name)

        data = reader.literal(check_mailbox)
        reader.end()
        uid_validity, uid = store.append(mailbox, data, flags, date or now_date_time())
        if self.context.pause:
            time.sleep(self.context.pause)
        return 'OK [APPENDUID %d %d] APPEND completed' % (uid_validity, uid)

    def do_select(self, reader):
        reader.space()
        name = reader.astring()
        reader.end()
        self.selected = None
        mailbox = self._resolve(name)
        store = self.context.mail_store
        if mailbox.is_root or not store.exists(mailbox):
            raise CommandError('NO', '[NONEXISTENT] No such mailbox %s' % mailbox.name)
        settings = store.folder(mailbox)
        write = self.connection.write_line
        write('* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft Forwarded)')
        write('* %d EXISTS' % len(store.messages(mailbox)))
        write('* 0 RECENT')
        write('* OK [UIDVALIDITY %d] UIDs valid' % settings['uidvalidity'])
        write('* OK [UIDNEXT %d] Predicted next UID' % settings['uidnext'])
        write('* OK [PERMANENTFLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft Forwarded \\*)] Limited')
        self.selected = mailbox
        return 'OK [READ-WRITE] SELECT completed'

    def do_fetch(self, reader):
        """FETCH of FLAGS, INTERNALDATE, RFC822.SIZE, UID and BODY[] (BODY.PEEK[] alike). Fetching
        never changes flags: the store records what the client sent."""
        reader.space()
        sequence = reader.atom(wildcards=True)
        reader.space()
        if reader.peek() == '(':
            items = [item.upper() for item in reader.parenthesised_atoms()]
        else:
            items = [reader.atom().upper()]
        reader.end()
        unknown = [item for item in items if item not in _FETCH_ITEMS]
        if unknown or not items:
            raise bad('Unsupported FETCH item %s' % ' '.join(unknown))
        messages = self.context.mail_store.messages(self.selected)
        for number in parse_sequence_set(sequence, len(messages)):
            self.connection.write_bytes(_fetch_response(number, messages[number - 1], items))
        return 'OK FETCH completed'

    def _resolve(self, name):
        return self.context.mail_store.resolve(name, self.own_account)


class ImapsSession(ImapSession):
    """The same side behind TLS from the first byte (the server does the handshake)."""

    NAME = TLS_NAME
    IMPLICIT_TLS = True


def _fetch_response(number, record, items):
    parts = []
    for item in items:
        if item == 'FLAGS':
            parts.append(b'FLAGS (%s)' % ' '.join(record['flags']).encode())
        elif item == 'INTERNALDATE':
            parts.append(b'INTERNALDATE "%s"' % record['internal_date'].encode())
        elif item == 'RFC822.SIZE':
            parts.append(b'RFC822.SIZE %d' % record['size'])
        elif item == 'UID':
            parts.append(b'UID %d' % record['uid'])
        else:
            with open(record['path'], 'rb') as file:
                data = file.read()
            parts.append(b'BODY[] {%d}\r\n%s' % (len(data), data))
    return b'* %d FETCH (%s)\r\n' % (number, b' '.join(parts))
