"""What every protocol side of the Quillon stand-in shares: state on disk, the command log,
fault injection, and a line connection that can switch to TLS."""

import json
import os
import socket
import threading

MAX_LINE = 1 << 20


class ServerState:
    """Accounts and groups, kept in state.json in the state directory after every change."""

    def __init__(self, directory):
        self.path = os.path.join(directory, 'state.json')
        self.lock = threading.RLock()
        self.data = {'accounts': {}, 'groups': {}}
        if os.path.exists(self.path):
            with open(self.path, encoding='utf-8') as file:
                self.data = json.load(file)
            self.data.setdefault('accounts', {})
            self.data.setdefault('groups', {})
        self.save()

    def save(self):
        with self.lock:
            temporary = self.path + '.tmp'
            with open(temporary, 'w', encoding='utf-8') as file:
                json.dump(self.data, file, indent=2, sort_keys=True)
                file.write('\n')
            os.replace(temporary, self.path)

    def find_account(self, name):
        """The stored name of the account `name` (case-insensitive), or None."""
        with self.lock:
            for stored in self.data['accounts']:
                if stored.lower() == name.lower():
                    return stored
        return None

    def find_alias_owner(self, alias):
        with self.lock:
            for stored, account in self.data['accounts'].items():
                if any(existing.lower() == alias.lower() for existing in account['aliases']):
                    return stored
        return None


class CommandLog:
    """commands.log in the state directory: one JSON object per line received."""

    def __init__(self, directory):
        self.path = os.path.join(directory, 'commands.log')
        self.lock = threading.Lock()

    def write(self, **entry):
        with self.lock:
            with open(self.path, 'a', encoding='utf-8') as file:
                file.write(json.dumps(entry, sort_keys=True) + '\n')


class FaultPlan:
    """Faults asked for on the command line, replaced by the control file while that exists.

    refuse: command prefixes answered with the refusal reply instead of being executed;
    drop / stall: command prefixes at which the connection is closed / stops being answered;
    drop_after / stall_after: the same once a connection has received that many lines;
    drop_literal, invalid, imap_refuse_reply, invalid_reply: faults of the IMAP side only (the
    connection closed halfway through a literal, an invalid reply line instead of the answer);
    stall_for: seconds after which a stalled connection is closed (none: never).
    A prefix matches the start of the line; its first word (the command) ignores case.
    """

    KEYS = ('refuse', 'drop', 'stall', 'drop_after', 'stall_after', 'refuse_reply',
            'drop_literal', 'invalid', 'imap_refuse_reply', 'invalid_reply', 'stall_for')
    DEFAULT_REPLY = '554 Command refused on request'

    def __init__(self, options, control_path=None):
        self.options = {key: options.get(key) for key in self.KEYS}
        self.control_path = control_path

    def current(self):
        if self.control_path and os.path.exists(self.control_path):
            with open(self.control_path, encoding='utf-8') as file:
                control = json.load(file)
            return {key: control.get(key) for key in self.KEYS}
        return self.options

    def action(self, line, count):
        """('refuse', reply), ('drop', None), ('stall', seconds or None) or (None, None) for the
        line that is the connection's `count`th."""
        kind, plan = self.match(line, count, ('drop', 'stall', 'refuse'))
        if kind == 'stall':
            return kind, None if plan.get('stall_for') is None else float(plan['stall_for'])
        if kind == 'drop':
            return kind, None
        return kind, kind and (plan.get('refuse_reply') or self.DEFAULT_REPLY)

    def match(self, line, count, kinds):
        """(kind, current plan) for the first of `kinds` whose prefixes match the line that is the
        connection's `count`th, after drop_after and stall_after; (None, plan) when none does."""
        plan = self.current()
        if plan.get('drop_after') is not None and count > int(plan['drop_after']):
            return 'drop', plan
        if plan.get('stall_after') is not None and count > int(plan['stall_after']):
            return 'stall', plan
        for kind in kinds:
            if any(_matches(line, prefix) for prefix in plan.get(kind) or []):
                return kind, plan
        return None, plan


def _matches(line, prefix):
    word, _, rest = prefix.partition(' ')
    line_word, _, line_rest = line.partition(' ')
    if line_word.lower() != word.lower():
        return False
    return not rest or line_rest.startswith(rest)


class ServerContext:
    """Everything the sessions of one server process share."""

    def __init__(self, state_directory, admins, faults, tls_context):
        self.state = ServerState(state_directory)
        self.log = CommandLog(state_directory)
        self.admins = admins
        self.faults = faults
        self.tls_context = tls_context
        self.session_lock = threading.Lock()
        self.session_count = 0

    def next_session(self):
        with self.session_lock:
            self.session_count += 1
            return self.session_count

    def admin_password(self, login):
        """The password of the administrator `login` names: the full name, or for an
        administrator configured without a domain, the part before "@"."""
        if login in self.admins:
            return self.admins[login]
        local, at, _ = login.partition('@')
        if at and local in self.admins and '@' not in local:
            return self.admins[local]
        return None


class ConnectionClosed(Exception):
    pass


class LineConnection:
    """A client connection read line by line; lines end in LF, with or without a CR before it."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = bytearray()
        self.secure = False

    def read_line(self):
        """The next line without its line end, as bytes; raises ConnectionClosed at the end."""
        while True:
            end = self.buffer.find(b'\n')
            if end >= 0:
                line = bytes(self.buffer[:end])
                del self.buffer[:end + 1]
                return line[:-1] if line.endswith(b'\r') else line
            if len(self.buffer) > MAX_LINE:
                raise ConnectionClosed('line too long')
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionClosed('peer closed')
            self.buffer += chunk

    def read_bytes(self, size):
        """Exactly `size` bytes; raises ConnectionClosed when the peer closes before."""
        data = bytearray(size)
        view = memoryview(data)
        filled = min(size, len(self.buffer))
        view[:filled] = self.buffer[:filled]
        del self.buffer[:filled]
        while filled < size:
            received = self.sock.recv_into(view[filled:], min(1 << 20, size - filled))
            if not received:
                raise ConnectionClosed('peer closed')
            filled += received
        return bytes(data)

    def write_line(self, text):
        self.sock.sendall(text.encode('utf-8', 'surrogateescape') + b'\r\n')

    def write_bytes(self, data):
        self.sock.sendall(data)

    def start_tls(self, context):
        # Whatever the client sent before the handshake is not part of the protected stream.
        self.buffer.clear()
        self.sock = context.wrap_socket(self.sock, server_side=True)
        self.secure = True

    def drain_until_closed(self, bound=None):
        """Reads and discards until the client closes, or at most `bound` seconds: a stalled
        server (the caller closes the connection after a bounded stall)."""
        try:
            self.sock.settimeout(bound)
            while self.sock.recv(65536):
                pass
        except OSError:
            pass

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
