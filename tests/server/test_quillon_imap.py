"""Tests of the Quillon stand-in's IMAP side: its syntax helpers, login, the server's extensions,
folders and messages on disk, TLS both ways and each fault, over real connections."""

import base64
import hmac
import json
import os
import socket
import ssl
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from quillon_imap_syntax import (ArgumentReader, CommandError, parse_date_time,  # noqa: E402
                                 parse_sequence_set, quote)
from quillon_mailstore import check_modified_utf7  # noqa: E402
from test_quillon_server import StandInTestCase  # noqa: E402

ANN = '~ann@example.com'
# Bytes that a line-based reader would spoil: CR LF inside, a lone LF, a zero byte, 8-bit text.
MESSAGE = (b'From: Ann <ann@example.com>\r\nSubject: =?utf-8?q?caf=C3=A9?=\r\n\r\n'
           b'Line one\r\n. \r\n\x00 zero\nlone LF\r\ncaf\xc3\xa9\r\n')


class LinesOnly:
    """An argument source for tests of the reader that never expects a literal."""

    def literal(self, size, synchronising):
        raise AssertionError('no literal expected')

    def next_line(self):
        raise AssertionError('no further line expected')


class SyntaxTest(unittest.TestCase):
    def test_quoted_strings_read_back(self):
        cases = [
            ('plain', '"plain"'),
            ('q"uote \\ back', r'"q\"uote \\ back"'),
            ('two\r\nlines\nLF\rCR\ttab', r'"two\elines\nLF\rCR\ttab"'),
            ('\x01\x7f', r'"\001\127"'),
            ('caf\u00e9', '"caf\u00e9"'),
        ]
        for text, quoted in cases:
            with self.subTest(text=text):
                self.assertEqual(quote(text), quoted)
                self.assertEqual(ArgumentReader(quoted, 0, LinesOnly()).quoted(), text)

    def test_quoted_escapes_in_commands(self):
        for quoted, text in [(r'"\065\66x"', 'ABx'), (r'"\q"', 'q'), (r'"\0651"', 'A1')]:
            with self.subTest(quoted=quoted):
                self.assertEqual(ArgumentReader(quoted, 0, LinesOnly()).quoted(), text)
        with self.assertRaises(CommandError):
            ArgumentReader('"open', 0, LinesOnly()).quoted()

    def test_date_times(self):
        cases = [
            ('05-Jan-2021 08:03:09 +0000', '05-Jan-2021 08:03:09 +0000'),
            (' 5-jan-2021 08:03:09 -0130', '05-Jan-2021 08:03:09 -0130'),
            ('29-Feb-2024 23:59:59 +1400', '29-Feb-2024 23:59:59 +1400'),
        ]
        for text, canonical in cases:
            with self.subTest(text=text):
                self.assertEqual(parse_date_time(text), canonical)
        for text in ['29-Feb-2021 00:00:00 +0000', '05-Jan-2021 24:00:00 +0000', '05-Foo-2021 08:03:09 +0000',
                     '05-Jan-2021 08:03:09', '05-Jan-2021 08:03:09 +0060', '2021-01-05 08:03:09 +0000']:
            with self.subTest(text=text):
                with self.assertRaises(CommandError):
                    parse_date_time(text)

    def test_modified_utf7_names(self):
        for name in ['Sent Items', 'A &- B', '&AOk-t&AOk-', '&2D3eAA-', '&ZeVnLIqe-', '~x_y']:
            with self.subTest(name=name):
                check_modified_utf7(name)
        bad = ['caf\u00e9', 'tab\there', '&AOk', '&AOk.-', '&AEE-', '&AO-', '&2D0-', '&AOkA-', '&AOl-']
        for name in bad:
            with self.subTest(name=name):
                with self.assertRaises(CommandError) as raised:
                    check_modified_utf7(name)
                self.assertEqual(raised.exception.status, 'NO')

    def test_sequence_sets(self):
        self.assertEqual(parse_sequence_set('1', 3), [1])
        self.assertEqual(parse_sequence_set('2:*', 3), [2, 3])
        self.assertEqual(parse_sequence_set('3:1,2', 3), [1, 2, 3])
        for text, count in [('4', 3), ('0', 3), ('1:*', 0), ('a', 3), ('1:2:3', 3)]:
            with self.subTest(text=text):
                with self.assertRaises(CommandError):
                    parse_sequence_set(text, count)


class ImapClient:
    """A small IMAP client that sends what a test says, literally, and reads replies with their
    literals."""

    def __init__(self, port, certificate=None):
        # A server that fails to answer fails the test instead of holding it until ctest gives up.
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=60)
        if certificate:
            self.start_tls(certificate)
        self.buffer = b''
        self.count = 0

    def start_tls(self, certificate):
        context = ssl.create_default_context(cafile=certificate)
        self.sock = context.wrap_socket(self.sock, server_hostname='127.0.0.1')

    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise EOFError('server closed')
        self.buffer += chunk

    def line(self):
        """The next line without CR LF; raises EOFError when the server closed."""
        while b'\r\n' not in self.buffer:
            self._fill()
        line, self.buffer = self.buffer.split(b'\r\n', 1)
        return line.decode('utf-8', 'surrogateescape')

    def read_bytes(self, size):
        while len(self.buffer) < size:
            self._fill()
        data, self.buffer = self.buffer[:size], self.buffer[size:]
        return data

    def closed(self):
        """True when the server closed the connection without sending anything more."""
        try:
            return self.sock.recv(1) == b''
        except ConnectionResetError:
            return True

    def response(self):
        """One response: its text, with each literal's bytes replaced by "<n bytes>" markers,
        and the literals' bytes."""
        line = text = self.line()
        literals = []
        while line.endswith('}') and '{' in line:
            literals.append(self.read_bytes(int(line[line.rindex('{') + 1:-1])))
            line = self.line()
            text += line
        return text, literals

    def send(self, data):
        self.sock.sendall(data.encode('utf-8', 'surrogateescape') if isinstance(data, str) else data)

    def next_tag(self):
        self.count += 1
        return 'T%03d' % self.count

    def command(self, text):
        """Sends a command with a fresh tag; returns (untagged responses, tagged line without tag)."""
        tag = self.next_tag()
        self.send('%s %s\r\n' % (tag, text))
        return self.until_tagged(tag)

    def until_tagged(self, tag):
        untagged = []
        while True:
            text, literals = self.response()
            if text.startswith(tag + ' '):
                return untagged, text[len(tag) + 1:]
            untagged.append((text, literals) if literals else text)

    def cram_md5(self, login, password):
        tag = self.next_tag()
        self.send(tag + ' AUTHENTICATE CRAM-MD5\r\n')
        challenge = self.line()
        assert challenge.startswith('+ '), challenge
        digest = hmac.new(password.encode(), base64.b64decode(challenge[2:]), 'md5').hexdigest()
        self.send(base64.b64encode(('%s %s' % (login, digest)).encode()) + b'\r\n')
        return self.until_tagged(tag)[1]

    def close(self):
        self.sock.close()


class ImapServerTest(StandInTestCase):
    def setUp(self):
        super().setUp()
        os.makedirs(self.state_directory)
        with open(os.path.join(self.state_directory, 'state.json'), 'w', encoding='utf-8') as file:
            json.dump({'accounts': {name: {'settings': {}, 'aliases': []}
                                    for name in ('ann@example.com', 'bob@example.com')}, 'groups': {}}, file)

    def start_server(self, *options, tls=True):
        """Starts a server; returns its ports by side name."""
        return self.start_server_ports(*options, tls=tls)

    def connect(self, port, certificate=None):
        client = ImapClient(port, certificate)
        self.clients.append(client)
        self.assertEqual(client.line(), '* OK Quillon stand-in IMAP ready')
        return client

    def logged_in(self, *options):
        """A client logged in as the administrator with the extensions enabled."""
        client = self.connect(self.start_server(*options)['imap'])
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'secret'), 'OK AUTHENTICATE completed')
        self.assertEqual(client.command('ENABLE EXTENSIONS'), (['* ENABLED EXTENSIONS'], 'OK ENABLE completed'))
        return client

    def logged_lines(self):
        with open(os.path.join(self.state_directory, 'commands.log'), encoding='utf-8') as file:
            return [json.loads(line) for line in file]

    def folder_path(self, account, *components):
        return os.path.join(self.state_directory, 'mail', account, *components)

    def folder_settings(self, account, *components):
        with open(os.path.join(self.folder_path(account, *components), '.folder.json'), encoding='utf-8') as file:
            return json.load(file)

    def stored_messages(self, account, *components):
        """(record, bytes) of each message of a folder on disk, in UID order."""
        directory = os.path.join(self.folder_path(account, *components), '.messages')
        if not os.path.isdir(directory):
            return []
        found = []
        for uid in sorted(int(name[:-5]) for name in os.listdir(directory) if name.endswith('.json')):
            with open(os.path.join(directory, '%d.json' % uid), encoding='utf-8') as file:
                record = json.load(file)
            with open(os.path.join(directory, '%d.eml' % uid), 'rb') as file:
                found.append((record, file.read()))
        return found

    def append(self, client, name, flags, date, data, synchronising=True, after_literal=b''):
        """APPEND as the transfer sends it, the line ending right after the literal unless
        `after_literal` says otherwise; returns the tagged line."""
        tag = client.next_tag()
        date_part = ' "%s"' % date if date else ''
        if not synchronising:
            client.send(b'%s APPEND "%s" (%s)%s {%d+}\r\n%s%s\r\n' % (
                tag.encode(), name.encode(), flags.encode(), date_part.encode(), len(data), data, after_literal))
            return client.until_tagged(tag)[1]
        client.send('%s APPEND "%s" (%s)%s {%d}\r\n' % (tag, name, flags, date_part, len(data)))
        text = client.line()
        if not text.startswith('+ '):
            return text[len(tag) + 1:] if text.startswith(tag + ' ') else text
        client.send(data + after_literal + b'\r\n')
        return client.until_tagged(tag)[1]

    # Login.

    def test_greeting_capability_and_logout(self):
        client = self.connect(self.start_server()['imap'])
        self.assertEqual(client.command('CAPABILITY'),
                         (['* CAPABILITY IMAP4rev1 LITERAL+ ENABLE AUTH=CRAM-MD5 STARTTLS'], 'OK CAPABILITY completed'))
        self.assertEqual(client.command('NOOP'), ([], 'OK NOOP completed'))
        self.assertEqual(client.command('LOGOUT'), (['* BYE Quillon stand-in IMAP closing'], 'OK LOGOUT completed'))
        self.assertTrue(client.closed())

    def test_login_with_quoted_and_literal_passwords(self):
        port = self.start_server()['imap']
        cases = [
            ('quoted', ['LOGIN "postmaster@127.0.0.1" "secret"\r\n'], 'OK LOGIN completed'),
            ('atoms', ['LOGIN postmaster secret\r\n'], 'OK LOGIN completed'),
            ('non-synchronising literal', ['LOGIN "postmaster@127.0.0.1" {6+}\r\nsecret\r\n'], 'OK LOGIN completed'),
            ('synchronising literals', ['LOGIN {20}\r\n', 'postmaster@127.0.0.1 {6}\r\n', 'secret\r\n'],
             'OK LOGIN completed'),
            ('wrong password', ['LOGIN "postmaster@127.0.0.1" {5+}\r\nwrong\r\n'],
             'NO [AUTHENTICATIONFAILED] Authentication failed'),
            ('unknown login', ['LOGIN "nobody" "secret"\r\n'], 'NO [AUTHENTICATIONFAILED] Authentication failed'),
        ]
        for name, parts, expected in cases:
            with self.subTest(name):
                client = self.connect(port)
                tag = client.next_tag()
                client.send(tag + ' ' + parts[0])
                for part in parts[1:]:
                    self.assertEqual(client.line(), '+ Ready for literal data')
                    client.send(part)
                self.assertEqual(client.until_tagged(tag), ([], expected))
        literal_sizes = [entry['literal'] for entry in self.logged_lines() if 'literal' in entry]
        self.assertEqual(literal_sizes, [6, 20, 6, 5])

    def test_cram_md5_is_checked_and_can_be_retried(self):
        client = self.connect(self.start_server()['imap'])
        self.assertEqual(client.command('LIST "" "*"'), ([], 'BAD Please log in first'))
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'wrong'), 'NO [AUTHENTICATIONFAILED] Authentication failed')
        self.assertEqual(client.cram_md5('someone@127.0.0.1', 'secret'), 'NO [AUTHENTICATIONFAILED] Authentication failed')
        self.assertEqual(client.command('AUTHENTICATE PLAIN'), ([], 'NO Unsupported authentication mechanism'))
        tag = client.next_tag()
        client.send(tag + ' AUTHENTICATE CRAM-MD5\r\n')
        self.assertTrue(client.line().startswith('+ '))
        client.send('*\r\n')
        self.assertEqual(client.until_tagged(tag), ([], 'BAD Authentication cancelled'))
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'secret'), 'OK AUTHENTICATE completed')
        self.assertEqual(client.command('LOGIN postmaster secret'), ([], 'BAD Already logged in'))

    def test_alert_after_login(self):
        client = self.connect(self.start_server('--alert', 'Maintenance at noon')['imap'])
        self.assertEqual(client.command('LOGIN postmaster secret'),
                         (['* OK [ALERT] Maintenance at noon'], 'OK LOGIN completed'))

    # Extensions.

    def test_extensions_need_enable(self):
        client = self.connect(self.start_server()['imap'])
        self.assertEqual(client.cram_md5('postmaster', 'secret'), 'OK AUTHENTICATE completed')
        for command in ['GETMAILTRAILER', 'LIST (CLASS) "" "*"', 'SETCLASS "%s/INBOX" "IPF.Note"' % ANN]:
            with self.subTest(command):
                self.assertEqual(client.command(command), ([], 'BAD ENABLE EXTENSIONS first'))
        self.assertEqual(client.command('ENABLE CONDSTORE'), (['* ENABLED'], 'OK ENABLE completed'))
        self.assertEqual(client.command('ENABLE X EXTENSIONS'), (['* ENABLED EXTENSIONS'], 'OK ENABLE completed'))
        self.assertEqual(client.command('GETMAILTRAILER'), ([], 'OK GETMAILTRAILER completed'))

    def test_mail_trailer_quoted_and_literal(self):
        trailer = b'-- \r\nSent "via" Quillon\\\tcaf\xc3\xa9\x00\x01'
        trailer_file = os.path.join(self.directory, 'trailer.txt')
        with open(trailer_file, 'wb') as file:
            file.write(trailer)
        client = self.logged_in('--mail-trailer-file', trailer_file)
        self.assertEqual(client.command('GETMAILTRAILER'),
                         (['* MAILTRAILER "-- \\eSent \\"via\\" Quillon\\\\\\tcaf\u00e9\\000\\001"'],
                          'OK GETMAILTRAILER completed'))
        client = self.logged_in('--mail-trailer-file', trailer_file, '--mail-trailer-literal')
        self.assertEqual(client.command('GETMAILTRAILER'),
                         ([('* MAILTRAILER {%d}' % len(trailer), [trailer])], 'OK GETMAILTRAILER completed'))
        client = self.logged_in('--mail-trailer', 'Line 1\r\nLine 2')
        self.assertEqual(client.command('GETMAILTRAILER'),
                         (['* MAILTRAILER "Line 1\\eLine 2"'], 'OK GETMAILTRAILER completed'))

    # Folders.

    def test_create_setclass_and_list(self):
        client = self.logged_in()
        self.assertEqual(client.command('LIST (CLASS) "" "%s/Tasks"' % ANN), ([], 'OK LIST completed'))
        self.assertEqual(client.command('CREATE "%s/Tasks"' % ANN), ([], 'OK CREATE completed'))
        self.assertEqual(client.command('LIST (CLASS) "" "%s/Tasks"' % ANN),
                         (['* LIST (\\CLASS "Default") "/" "%s/Tasks"' % ANN], 'OK LIST completed'))
        self.assertEqual(client.command('SETCLASS "%s/Tasks" "IPF.Task"' % ANN), ([], 'OK SETCLASS completed'))
        self.assertEqual(client.command('LIST (CLASS) "" "%s/Tasks"' % ANN),
                         (['* LIST (\\CLASS "IPF.Task") "/" "%s/Tasks"' % ANN], 'OK LIST completed'))
        self.assertEqual(client.command('LIST "" "%s/Tasks"' % ANN),
                         (['* LIST () "/" "%s/Tasks"' % ANN], 'OK LIST completed'))
        self.assertEqual(self.folder_settings('ann@example.com', 'Tasks')['class'], 'IPF.Task')
        self.assertEqual(client.command('CREATE "%s/Tasks"' % ANN),
                         ([], 'NO [ALREADYEXISTS] Mailbox %s/Tasks exists' % ANN))

    def test_names_and_the_namespace(self):
        client = self.logged_in()
        for name in ['~ANN@example.com/Caf&AOk-/Sub', '%s/A &- B/' % ANN, '~bob@example.com/Journal']:
            with self.subTest(name):
                self.assertEqual(client.command('CREATE "%s"' % name), ([], 'OK CREATE completed'))
        # Names are kept as sent, in modified UTF-7, on disk too; the parent came with its child.
        self.assertTrue(os.path.isdir(self.folder_path('ann@example.com', 'Caf&AOk-', 'Sub')))
        self.assertEqual(self.folder_settings('ann@example.com', 'A &- B')['name'], '%s/A &- B' % ANN)
        self.assertEqual(client.command('LIST "" "~Ann@Example.com/%"'), ([
            '* LIST () "/" "%s/INBOX"' % ANN,
            '* LIST () "/" "%s/A &- B"' % ANN,
            '* LIST () "/" "%s/Caf&AOk-"' % ANN,
        ], 'OK LIST completed'))
        self.assertEqual(client.command('LIST (CLASS) "" "~*"'), ([
            '* LIST (\\Noselect) "/" "%s"' % ANN,
            '* LIST (\\CLASS "Default") "/" "%s/INBOX"' % ANN,
            '* LIST (\\CLASS "Default") "/" "%s/A &- B"' % ANN,
            '* LIST (\\CLASS "Default") "/" "%s/Caf&AOk-"' % ANN,
            '* LIST (\\CLASS "Default") "/" "%s/Caf&AOk-/Sub"' % ANN,
            '* LIST (\\Noselect) "/" "~bob@example.com"',
            '* LIST (\\CLASS "Default") "/" "~bob@example.com/INBOX"',
            '* LIST (\\CLASS "Default") "/" "~bob@example.com/Journal"',
        ], 'OK LIST completed'))
        self.assertEqual(client.command('LIST "%s/" "inbox"' % ANN),
                         (['* LIST () "/" "%s/INBOX"' % ANN], 'OK LIST completed'))
        self.assertEqual(client.command('LIST "" ""'), (['* LIST (\\Noselect) "/" ""'], 'OK LIST completed'))
        refusals = [
            ('CREATE "%s/inbox"' % ANN, 'NO [ALREADYEXISTS] Mailbox %s/INBOX exists' % ANN),
            ('CREATE "~nobody@example.com/X"', "NO [NONEXISTENT] No such account in '~nobody@example.com/X'"),
            ('CREATE "%s"' % ANN, 'NO [CANNOT] The account root cannot be created'),
            ('CREATE "Mine"', "NO [NONEXISTENT] No such account in 'Mine'"),
            ('CREATE "%s/../x"' % ANN, "NO [CANNOT] Invalid mailbox name '%s/../x'" % ANN),
            ('CREATE "%s/a//b"' % ANN, "NO [CANNOT] Invalid mailbox name '%s/a//b'" % ANN),
            ('CREATE "%s/Caf\u00e9"' % ANN,
             "NO [CANNOT] Invalid mailbox name 'Caf\u00e9': character '\u00e9' is not printable ASCII"),
            ('CREATE "%s/&AOk"' % ANN, 'NO [CANNOT] Invalid mailbox name \'&AOk\': an "&" run has no closing "-"'),
            ('CREATE "%s/%s"' % (ANN, 'L' * 300),
             'NO [CANNOT] Cannot store %s/%s: File name too long' % (ANN, 'L' * 300)),
            ('SETCLASS "%s/Nothing" "IPF.Task"' % ANN, 'NO [NONEXISTENT] No such mailbox %s/Nothing' % ANN),
            ('SETCLASS "%s/INBOX" ""' % ANN, 'BAD Empty class'),
            ('LIST (SUBSCRIBED) "" "*"', 'BAD Unknown LIST selection option'),
            ('CREATE', 'BAD Blank expected at position 11'),
            ('FROB x', 'BAD Unknown command'),
        ]
        for command, expected in refusals:
            with self.subTest(command):
                self.assertEqual(client.command(command), ([], expected))
        self.assertFalse(os.path.exists(os.path.join(self.state_directory, 'x')))

    def test_accounts_created_through_the_cli_side(self):
        ports = self.start_server()
        cli = socket.create_connection(('127.0.0.1', ports['cli']))
        with cli, cli.makefile('rwb') as stream:
            stream.readline()
            for line in [b'USER postmaster', b'PASS secret', b'CreateAccount carl@example.com {}']:
                stream.write(line + b'\r\n')
                stream.flush()
                self.assertTrue(stream.readline().startswith(b'200 '), line)
        client = self.connect(ports['imap'])
        self.assertEqual(client.command('LOGIN postmaster secret')[1], 'OK LOGIN completed')
        self.assertEqual(client.command('CREATE "~carl@example.com/Notes"'), ([], 'OK CREATE completed'))
        self.assertTrue(os.path.isdir(self.folder_path('carl@example.com', 'Notes')))

    # Messages.

    def test_append_then_fetch_byte_for_byte(self):
        client = self.logged_in()
        self.assertEqual(client.command('CREATE "%s/Sent Items"' % ANN)[1], 'OK CREATE completed')
        uid_validity = self.folder_settings('ann@example.com', 'Sent Items')['uidvalidity']
        cases = [
            ('\\Answered \\Flagged \\Seen', '05-Jan-2021 08:03:09 +0000', True),
            ('\\seen \\Draft Forwarded \\Seen', None, False),
            ('', ' 7-Feb-2020 10:00:00 +0100', True),
        ]
        for uid, (flags, date, synchronising) in enumerate(cases, 1):
            with self.subTest(flags=flags):
                self.assertEqual(self.append(client, ANN + '/Sent Items', flags, date, MESSAGE, synchronising),
                                 'OK [APPENDUID %d %d] APPEND completed' % (uid_validity, uid))
        stored = self.stored_messages('ann@example.com', 'Sent Items')
        self.assertEqual([data for _, data in stored], [MESSAGE] * 3)
        self.assertEqual([(record['flags'], record['size']) for record, _ in stored], [
            (['\\Answered', '\\Flagged', '\\Seen'], len(MESSAGE)),
            (['\\Seen', '\\Draft', 'Forwarded'], len(MESSAGE)),
            ([], len(MESSAGE))])
        self.assertEqual(stored[0][0]['internal_date'], '05-Jan-2021 08:03:09 +0000')
        self.assertEqual(stored[2][0]['internal_date'], '07-Feb-2020 10:00:00 +0100')
        self.assertRegex(stored[1][0]['internal_date'], r'^\d\d-[A-Z][a-z]{2}-\d{4} \d\d:\d\d:\d\d \+0000$')

        untagged, tagged = client.command('SELECT "%s/Sent Items"' % ANN)
        self.assertEqual(tagged, 'OK [READ-WRITE] SELECT completed')
        self.assertIn('* 3 EXISTS', untagged)
        self.assertIn('* OK [UIDVALIDITY %d] UIDs valid' % uid_validity, untagged)
        self.assertIn('* OK [UIDNEXT 4] Predicted next UID', untagged)
        self.assertEqual(client.command('FETCH 1 (FLAGS INTERNALDATE RFC822.SIZE BODY[])'), ([
            ('* 1 FETCH (FLAGS (\\Answered \\Flagged \\Seen) INTERNALDATE "05-Jan-2021 08:03:09 +0000" '
             'RFC822.SIZE %d BODY[] {%d})' % (len(MESSAGE), len(MESSAGE)), [MESSAGE])], 'OK FETCH completed'))
        untagged, tagged = client.command('FETCH 2:* (UID FLAGS BODY.PEEK[])')
        self.assertEqual(untagged, [
            ('* 2 FETCH (UID 2 FLAGS (\\Seen \\Draft Forwarded) BODY[] {%d})' % len(MESSAGE), [MESSAGE]),
            ('* 3 FETCH (UID 3 FLAGS () BODY[] {%d})' % len(MESSAGE), [MESSAGE])])
        self.assertEqual(client.command('FETCH 1 FLAGS'), (['* 1 FETCH (FLAGS (\\Answered \\Flagged \\Seen))'],
                                                           'OK FETCH completed'))
        self.assertEqual(client.command('FETCH 4 FLAGS'), ([], "BAD No such message in '4'"))
        self.assertEqual(client.command('FETCH 1 (ENVELOPE)'), ([], 'BAD Unsupported FETCH item ENVELOPE'))

    def test_append_to_the_implicit_inbox_and_empty_message(self):
        client = self.logged_in()
        self.assertEqual(self.append(client, ANN + '/inbox', '', None, b''), 'OK [APPENDUID %d 1] APPEND completed'
                         % self.folder_settings('ann@example.com', 'INBOX')['uidvalidity'])
        self.assertEqual(self.stored_messages('ann@example.com', 'INBOX')[0][1], b'')

    def test_append_refuses_stray_blanks_as_a_strict_server_does(self):
        # RFC 3501 has no blank before a flag list's closing parenthesis nor between a literal and
        # the line end. The session goes on after the refusal.
        cases = [('\\Flagged \\Seen ', b'', True, "BAD Atom expected at position"),
                 ('\\Seen', b' ', True, "BAD Unexpected text ' ' at the end of the command"),
                 ('\\Seen', b' ', False, "BAD Unexpected text ' ' at the end of the command")]
        for flags, after_literal, synchronising, refusal in cases:
            with self.subTest(flags=flags, after_literal=after_literal, synchronising=synchronising):
                client = self.logged_in()
                reply = self.append(client, ANN + '/INBOX', flags, None, MESSAGE, synchronising, after_literal)
                self.assertTrue(reply.startswith(refusal), reply)
                self.assertEqual(self.stored_messages('ann@example.com', 'INBOX'), [])
                self.assertEqual(client.command('NOOP'), ([], 'OK NOOP completed'))

    def test_append_refusals(self):
        client = self.logged_in()
        cases = [
            # A missing folder is refused before the synchronising literal: no go-ahead.
            (ANN + '/Nothing', '', None, True, 'NO [TRYCREATE] No such mailbox %s/Nothing' % ANN),
            # With a non-synchronising literal the data arrives anyway and is read before the answer.
            (ANN + '/Nothing', '\\Seen', None, False, 'NO [TRYCREATE] No such mailbox %s/Nothing' % ANN),
            (ANN, '', None, True, 'NO [TRYCREATE] No such mailbox %s' % ANN),
            ('~nobody@example.com/INBOX', '', None, False,
             "NO [NONEXISTENT] No such account in '~nobody@example.com/INBOX'"),
            (ANN + '/INBOX', '\\Recent', None, False, 'BAD Flag \\Recent cannot be set'),
            (ANN + '/INBOX', '', '31-Apr-2021 00:00:00 +0000', True,
             "BAD Invalid date-time '31-Apr-2021 00:00:00 +0000'"),
        ]
        for name, flags, date, synchronising, expected in cases:
            with self.subTest(name=name, flags=flags, date=date):
                self.assertEqual(self.append(client, name, flags, date, MESSAGE, synchronising), expected)
                self.assertEqual(client.command('NOOP'), ([], 'OK NOOP completed'))
        self.assertEqual(self.stored_messages('ann@example.com', 'INBOX'), [])
        self.assertEqual(client.command('FETCH 1 FLAGS'), ([], 'BAD No mailbox selected'))

    # TLS.

    def test_starttls(self):
        client = self.connect(self.start_server()['imap'])
        self.assertEqual(client.command('STARTTLS'), ([], 'OK Begin TLS negotiation now'))
        client.start_tls(self.certificate)
        self.assertEqual(client.command('CAPABILITY')[0], ['* CAPABILITY IMAP4rev1 LITERAL+ ENABLE AUTH=CRAM-MD5'])
        self.assertEqual(client.command('STARTTLS'), ([], 'BAD TLS is already active'))
        self.assertEqual(client.cram_md5('postmaster', 'secret'), 'OK AUTHENTICATE completed')
        self.assertEqual([(entry.get('line', '')[5:], entry['secure']) for entry in self.logged_lines()][:2],
                         [('STARTTLS', False), ('CAPABILITY', True)])

    def test_starttls_without_certificate(self):
        ports = self.start_server(tls=False)
        self.assertEqual(sorted(ports), ['cli', 'imap'])
        client = self.connect(ports['imap'])
        self.assertEqual(client.command('CAPABILITY')[0], ['* CAPABILITY IMAP4rev1 LITERAL+ ENABLE AUTH=CRAM-MD5'])
        self.assertEqual(client.command('STARTTLS'), ([], 'NO TLS is not configured'))
        self.assertEqual(client.command('LOGIN postmaster secret'), ([], 'OK LOGIN completed'))

    def test_tls_from_the_first_byte(self):
        ports = self.start_server()
        client = self.connect(ports['imaps'], self.certificate)
        self.assertEqual(client.command('CAPABILITY')[0], ['* CAPABILITY IMAP4rev1 LITERAL+ ENABLE AUTH=CRAM-MD5'])
        self.assertEqual(client.cram_md5('postmaster', 'secret'), 'OK AUTHENTICATE completed')
        self.assertEqual({(entry['protocol'], entry['secure']) for entry in self.logged_lines()}, {('imaps', True)})

    def test_port_line_and_tls_side_needs_a_certificate(self):
        port_file = os.path.join(self.directory, 'ports')
        ports = self.start_server('--port-file', port_file)
        with open(port_file, encoding='ascii') as file:
            self.assertEqual(file.read(), 'cli=%(cli)d imap=%(imap)d imaps=%(imaps)d\n' % ports)
        refused = subprocess.run([sys.executable, os.path.join(HERE, 'quillon_server.py'), '--state-dir',
                                  self.state_directory, '--protocols', 'imap,imaps'], capture_output=True, text=True)
        self.assertEqual(refused.returncode, 2)
        self.assertIn('TLS from the first byte needs --cert and --key', refused.stderr)

    # Faults.

    def test_refusals_with_no_and_bad(self):
        for reply in ['NO Command refused on request', 'BAD Syntax refused']:
            with self.subTest(reply):
                options = ['--refuse', 'APPEND "%s/INBOX"' % ANN, '--refuse', 'create']
                if reply.startswith('BAD'):
                    options += ['--imap-refuse-reply', reply]
                client = self.logged_in(*options)
                self.assertEqual(client.command('CREATE "%s/X"' % ANN), ([], reply))
                self.assertEqual(self.append(client, ANN + '/INBOX', '', None, MESSAGE, True), reply)
                self.assertEqual(self.append(client, ANN + '/INBOX', '', None, MESSAGE, False), reply)
                self.assertEqual(client.command('LIST "" "%s/X"' % ANN), ([], 'OK LIST completed'))
                self.assertEqual(self.stored_messages('ann@example.com', 'INBOX'), [])

    def test_drop_closes_without_answering(self):
        client = self.logged_in('--drop', 'CREATE')
        client.send('T100 CREATE "%s/X"\r\n' % ANN)
        self.assertTrue(client.closed())
        self.assertFalse(os.path.exists(self.folder_path('ann@example.com', 'X')))

    def test_drop_in_the_middle_of_a_literal(self):
        for synchronising in [True, False]:
            with self.subTest(synchronising=synchronising):
                client = self.logged_in('--drop-in-literal', 'APPEND')
                size = len(MESSAGE) * 1000
                if synchronising:
                    client.send('T100 APPEND "%s/INBOX" () {%d}\r\n' % (ANN, size))
                    self.assertEqual(client.line(), '+ Ready for literal data')
                else:
                    client.send('T100 APPEND "%s/INBOX" () {%d+}\r\n' % (ANN, size))
                client.send(MESSAGE * 500)
                self.assertTrue(client.closed())
                self.assertEqual(self.stored_messages('ann@example.com', 'INBOX'), [])

    def test_stall_never_answers(self):
        client = self.logged_in('--stall', 'LIST')
        client.send('T100 LIST "" "*"\r\n')
        client.sock.shutdown(socket.SHUT_WR)
        self.assertTrue(client.closed())

    def test_bounded_stall_closes_without_an_answer(self):
        # The client keeps its end open: the server itself ends the stall.
        client = self.logged_in('--stall', 'LIST', '--stall-for', '0.5')
        client.send('T100 LIST "" "*"\r\n')
        self.assertTrue(client.closed())

    def test_invalid_reply_line(self):
        client = self.logged_in('--invalid', 'CREATE', '--invalid', 'APPEND', '--invalid-reply', '00000099 OK wrong')
        client.send('T100 CREATE "%s/X"\r\n' % ANN)
        self.assertEqual(client.line(), '00000099 OK wrong')
        self.assertEqual(self.append(client, ANN + '/INBOX', '', None, MESSAGE, True), '00000099 OK wrong')
        self.assertEqual(client.command('LIST "" "%s/X"' % ANN), ([], 'OK LIST completed'))

    def test_faults_counted_per_command_and_from_the_control_file(self):
        control = os.path.join(self.directory, 'control.json')
        # Login, ENABLE, then two commands: the fifth command (a literal counts with its command) is dropped.
        client = self.logged_in('--control', control, '--drop-after', '4')
        with open(control, 'w', encoding='utf-8') as file:
            json.dump({'invalid': ['NOOP'], 'drop_after': 4}, file)
        client.send('T100 NOOP\r\n')
        self.assertEqual(client.line(), '?? Invalid reply on request')
        self.assertEqual(self.append(client, ANN + '/INBOX', '', None, MESSAGE, False),
                         'OK [APPENDUID %d 1] APPEND completed'
                         % self.folder_settings('ann@example.com', 'INBOX')['uidvalidity'])
        client.send('T101 NOOP\r\n')
        self.assertTrue(client.closed())
        os.remove(control)
        client = self.logged_in('--control', control, '--drop-after', '2')
        client.send('T100 NOOP\r\n')
        self.assertTrue(client.closed())


if __name__ == '__main__':
    unittest.main()
