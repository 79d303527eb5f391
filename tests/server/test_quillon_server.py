"""Tests of the Quillon stand-in itself: its value grammar, its CLI side over a real connection,
its state on disk and its faults."""

import base64
import hmac
import json
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from quillon_values import SyntaxFault, format_value, parse_value  # noqa: E402


class ValueGrammarTest(unittest.TestCase):
    def test_values(self):
        cases = [
            ('"plain"', 'plain'),
            (r'"q\"uote and back\\slash"', 'q"uote and back\\slash'),
            (r'"\002{MSNT}abc"', '\x02{MSNT}abc'),
            ('atom@example.com', 'atom@example.com'),
            ('()', []),
            ('(a@x,"b c",d)', ['a@x', 'b c', 'd']),
            ('{}', {}),
            ('{RealName="A";Quota=10;}', {'RealName': 'A', 'Quota': '10'}),
            ('{ RealName="G"; Members=(a@x,b@x);}', {'RealName': 'G', 'Members': ['a@x', 'b@x']}),
            (r'{Na\"me="v";}', {'Na"me': 'v'}),
            ('"\u00e9t\u00e9"', '\u00e9t\u00e9'),
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(parse_value(text), expected)

    def test_malformed_values(self):
        for text in ['"open', '{A="x"', '{A="x" B="y";}', '(a,b', '', '"x" trailing', '{="x";}',
                     '{A="Smith "Jr"";}']:
            with self.subTest(text=text):
                with self.assertRaises(SyntaxFault):
                    parse_value(text)

    def test_format_reads_back(self):
        value = {'RealName': 'A "q" \\ x', 'Password': '\x02{MSNT}00ff', 'Members': ['a@x', 'b@x']}
        self.assertEqual(format_value(value),
                         r'{RealName="A \"q\" \\ x";Password="\002{MSNT}00ff";Members=("a@x","b@x");}')
        self.assertEqual(parse_value(format_value(value)), value)


def make_certificate(directory):
    """A self-signed certificate for 127.0.0.1 made with the openssl program."""
    certificate = os.path.join(directory, 'server.pem')
    key = os.path.join(directory, 'server.key')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:P-256',
                    '-nodes', '-days', '1', '-subj', '/CN=Quillon test', '-addext',
                    'subjectAltName=IP:127.0.0.1,DNS:localhost', '-keyout', key, '-out', certificate],
                   check=True, capture_output=True)
    return certificate, key


class Client:
    """A line client of the CLI side, as small as the tests need."""

    def __init__(self, port):
        # A server that fails to answer fails the test instead of holding it until ctest gives up.
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=60)
        self.buffer = b''

    def reply(self):
        """The next line without its CR LF; None when the server closed the connection."""
        while b'\r\n' not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b'\r\n', 1)
        return line.decode('utf-8')

    def send(self, line):
        self.sock.sendall(line.encode('utf-8') + b'\r\n')

    def command(self, line):
        self.send(line)
        return self.reply()

    def start_tls(self, certificate):
        context = ssl.create_default_context(cafile=certificate)
        self.sock = context.wrap_socket(self.sock, server_hostname='127.0.0.1')

    def cram_md5(self, login, password):
        challenge = self.command('AUTH CRAM-MD5')
        assert challenge.startswith('+ '), challenge
        digest = hmac.new(password.encode(), base64.b64decode(challenge[2:]), 'md5').hexdigest()
        return self.command(base64.b64encode(('%s %s' % (login, digest)).encode()).decode())

    def close(self):
        self.sock.close()


class StandInTestCase(unittest.TestCase):
    """Servers started from a state directory of their own, with a test certificate, and the
    clients that talk to them; all of it goes when the test ends."""

    @classmethod
    def setUpClass(cls):
        cls.certificate_directory = tempfile.mkdtemp(prefix='quillon-cert-')
        cls.certificate, cls.key = make_certificate(cls.certificate_directory)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.certificate_directory)

    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix='quillon-state-')
        self.state_directory = os.path.join(self.directory, 'state')
        self.servers = []
        self.clients = []

    def tearDown(self):
        for client in self.clients:
            client.close()
        for server in self.servers:
            server.terminate()
            server.wait()
            server.stdout.close()
        shutil.rmtree(self.directory)

    def start_server_ports(self, *options, tls=True):
        """Starts a server; returns its ports by side name."""
        arguments = [sys.executable, os.path.join(HERE, 'quillon_server.py'),
                     '--state-dir', self.state_directory, '--admin', 'postmaster:secret']
        if tls:
            arguments += ['--cert', self.certificate, '--key', self.key]
        server = subprocess.Popen(arguments + list(options), stdout=subprocess.PIPE, text=True)
        self.servers.append(server)
        return {name: int(port) for name, port in (entry.split('=') for entry in server.stdout.readline().split())}


class ServerTest(StandInTestCase):
    def start_server(self, *options, tls=True):
        return self.start_server_ports(*options, tls=tls)['cli']

    def connect(self, port):
        client = Client(port)
        self.clients.append(client)
        self.assertEqual(client.reply(), '200 Quillon stand-in CLI ready')
        return client

    def logged_in(self, port):
        client = self.connect(port)
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'secret'),
                         '200 Logged in as postmaster@127.0.0.1')
        return client

    def state(self):
        with open(os.path.join(self.state_directory, 'state.json'), encoding='utf-8') as file:
            return json.load(file)

    def logged_lines(self):
        with open(os.path.join(self.state_directory, 'commands.log'), encoding='utf-8') as file:
            return [json.loads(line) for line in file]

    def test_account_commands_change_the_state_on_disk(self):
        client = self.logged_in(self.start_server())
        settings = r'{RealName="Ann \"A\" \\ Lee";City="Z' + '\u00fc' + r'rich";}'
        self.assertEqual(client.command('CreateAccount ann@example.com ' + settings), '200 Account created')
        self.assertEqual(client.command('CreateAccount ANN@example.com {}'),
                         '520 Account ANN@example.com already exists')
        self.assertEqual(client.command('SetAccountAliases ann@example.com (annie)'), '200 Aliases set')
        self.assertEqual(client.command(r'UpdateAccount ann@example.com {Password="\002{MSNT}00ff";}'),
                         '200 Account updated')
        self.assertEqual(client.command('CreateGroup staff@example.com { RealName="Staff"; Members=(ann@example.com);}'),
                         '200 Group created')
        self.assertEqual(client.command('GetAccountAliases ann@example.com'), '201 ("annie")')
        self.assertEqual(client.command('GetAccountSettings ann@example.com'),
                         r'201 {RealName="Ann \"A\" \\ Lee";City="Z' + '\u00fc' + r'rich";Password="\002{MSNT}00ff";}')
        self.assertEqual(client.command('QUIT'), '200 Bye')
        self.assertIsNone(client.reply())
        self.assertEqual(self.state(), {
            'accounts': {'ann@example.com': {
                'settings': {'RealName': 'Ann "A" \\ Lee', 'City': 'Z\u00fcrich', 'Password': '\x02{MSNT}00ff'},
                'aliases': ['annie']}},
            'groups': {'staff@example.com': {'settings': {'RealName': 'Staff', 'Members': ['ann@example.com']}}},
        })
        lines = [entry['line'] for entry in self.logged_lines()]
        self.assertEqual(lines[0], 'AUTH CRAM-MD5')
        self.assertEqual(lines[2], 'CreateAccount ann@example.com ' + settings)
        self.assertEqual(lines[-1], 'QUIT')

    def test_state_survives_a_restart(self):
        client = self.logged_in(self.start_server())
        self.assertEqual(client.command('CreateAccount kept@example.com {A="1";}'), '200 Account created')
        client = self.logged_in(self.start_server())
        self.assertEqual(client.command('GetAccountSettings kept@example.com'), '201 {A="1";}')

    def test_refusals_and_errors(self):
        client = self.logged_in(self.start_server())
        cases = [
            ('NoSuchCommand x', '500 Unknown command'),
            ('CreateAccount a&b@example.com {}', "501 Syntax error: invalid name 'a&b@example.com'"),
            ('CreateAccount x@example.com {A="open', '501 Syntax error: unterminated string'),
            ('SetAccountAliases nobody@example.com (x)', '513 Unknown account nobody@example.com'),
            ('UpdateAccount nobody@example.com {A="1";}', '513 Unknown account nobody@example.com'),
            ('GetAccountSettings nobody@example.com', '513 Unknown account nobody@example.com'),
            ('CreateGroup g@example.com { RealName="Smith "Jr""; Members=();}',
             '501 Syntax error: ";" expected at position 33'),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(client.command(line), expected)

    def test_login_is_checked(self):
        port = self.start_server()
        client = self.connect(port)
        self.assertEqual(client.command('CreateAccount x@example.com {}'), '530 Please log in first')
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'wrong'), '515 Authentication failed')
        self.assertEqual(client.cram_md5('someone@127.0.0.1', 'secret'), '515 Authentication failed')
        self.assertEqual(client.command('AUTH PLAIN'), '504 Unsupported authentication mechanism')
        self.assertEqual(client.command('PASS secret'), '503 USER first')
        self.assertEqual(client.command('USER postmaster'), '200 Send the password')
        self.assertEqual(client.command('PASS wrong'), '515 Authentication failed')
        self.assertEqual(client.command('USER postmaster'), '200 Send the password')
        self.assertEqual(client.command('PASS secret'), '200 Logged in as postmaster')
        self.assertEqual(client.command('CreateAccount x@example.com {}'), '200 Account created')

    def test_stls_switches_to_tls(self):
        client = self.connect(self.start_server())
        self.assertEqual(client.command('STLS'), '200 Begin TLS negotiation')
        client.start_tls(self.certificate)
        self.assertEqual(client.cram_md5('postmaster@127.0.0.1', 'secret'), '200 Logged in as postmaster@127.0.0.1')
        self.assertEqual(client.command('STLS'), '500 TLS is already active')
        self.assertEqual([(entry['line'], entry['secure']) for entry in self.logged_lines()][:2],
                         [('STLS', False), ('AUTH CRAM-MD5', True)])

    def test_stls_without_certificate(self):
        client = self.connect(self.start_server(tls=False))
        self.assertEqual(client.command('STLS'), '554 TLS is not configured')

    def test_refuse_matches_the_command_and_the_start_of_its_arguments(self):
        client = self.logged_in(self.start_server('--refuse', 'createaccount bad@', '--refuse-reply', '599 No.'))
        self.assertEqual(client.command('CreateAccount bad@example.com {}'), '599 No.')
        self.assertEqual(client.command('CreateAccount good@example.com {}'), '200 Account created')
        self.assertEqual(list(self.state()['accounts']), ['good@example.com'])

    def test_drop_after_closes_without_answering(self):
        client = self.logged_in(self.start_server('--drop-after', '2'))
        self.assertEqual(client.command('CreateAccount one@example.com {}'), '200 Account created')
        self.assertIsNone(client.command('CreateAccount two@example.com {}'))
        self.assertEqual(list(self.state()['accounts']), ['one@example.com'])

    def test_drop_on_a_command(self):
        client = self.logged_in(self.start_server('--drop', 'SetAccountAliases'))
        self.assertEqual(client.command('CreateAccount one@example.com {}'), '200 Account created')
        self.assertIsNone(client.command('SetAccountAliases one@example.com (uno)'))

    def test_stall_never_answers(self):
        client = self.logged_in(self.start_server('--stall', 'CreateAccount'))
        client.send('CreateAccount one@example.com {}')
        # Ending our side lets the stalled server see the end; it must not have answered before.
        client.sock.shutdown(socket.SHUT_WR)
        self.assertIsNone(client.reply())
        self.assertEqual(self.state()['accounts'], {})

    def test_control_file_replaces_the_faults_while_it_exists(self):
        control = os.path.join(self.directory, 'control.json')
        client = self.logged_in(self.start_server('--control', control, '--refuse', 'CreateAccount'))
        self.assertEqual(client.command('CreateAccount a@example.com {}'), '554 Command refused on request')
        with open(control, 'w', encoding='utf-8') as file:
            json.dump({'refuse': ['CreateGroup']}, file)
        self.assertEqual(client.command('CreateAccount a@example.com {}'), '200 Account created')
        self.assertEqual(client.command('CreateGroup g@example.com {}'), '554 Command refused on request')
        os.remove(control)
        self.assertEqual(client.command('CreateAccount b@example.com {}'), '554 Command refused on request')

    def test_port_file(self):
        port_file = os.path.join(self.directory, 'ports')
        port = self.start_server('--port-file', port_file, '--protocols', 'cli')
        with open(port_file, encoding='ascii') as file:
            self.assertEqual(file.read(), 'cli=%d\n' % port)


if __name__ == '__main__':
    unittest.main()
