#!/usr/bin/python3
"""Quillon stand-in server for tests: listens on 127.0.0.1 at ports chosen at run time, keeps
what it receives under a state directory, and injects faults on request. See README.md."""

import argparse
import os
import signal
import socket
import ssl
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import quillon_cli  # noqa: E402
import quillon_imap  # noqa: E402
from quillon_common import FaultPlan, LineConnection, ServerContext  # noqa: E402

# Each protocol side by name: its session class. Another side registers itself here; a class with
# IMPLICIT_TLS set gets TLS from the first byte and is only served with a certificate.
PROTOCOLS = {quillon_cli.NAME: quillon_cli.CliSession,
             quillon_imap.NAME: quillon_imap.ImapSession,
             quillon_imap.TLS_NAME: quillon_imap.ImapsSession}
# Modules that add options of their own (add_arguments) and shared state (configure).
SIDE_MODULES = (quillon_imap,)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--state-dir', required=True,
                        help='directory for state.json and commands.log (created if missing)')
    parser.add_argument('--protocols',
                        help='comma-separated protocol sides to serve (default: all; those with '
                             'TLS from the first byte only with --cert)')
    parser.add_argument('--port-file', help='also write the port line into this file')
    parser.add_argument('--admin', action='append', default=[], metavar='NAME:PASSWORD',
                        help='an administrator login (repeatable; default postmaster:postmaster)')
    parser.add_argument('--cert', help='PEM certificate chain for STLS')
    parser.add_argument('--key', help='PEM private key for STLS')
    parser.add_argument('--refuse', action='append', default=[], metavar='PREFIX',
                        help='answer commands starting with PREFIX with a refusal')
    parser.add_argument('--refuse-reply', default=FaultPlan.DEFAULT_REPLY,
                        help='the refusal reply line')
    parser.add_argument('--drop', action='append', default=[], metavar='PREFIX',
                        help='close the connection when a command starts with PREFIX')
    parser.add_argument('--stall', action='append', default=[], metavar='PREFIX',
                        help='stop answering when a command starts with PREFIX')
    parser.add_argument('--stall-for', type=float, metavar='SECONDS',
                        help='close a stalled connection after SECONDS (default: keep it open)')
    parser.add_argument('--drop-after', type=int, metavar='N',
                        help='close each connection when it sends its command number N+1')
    parser.add_argument('--stall-after', type=int, metavar='N',
                        help='stop answering each connection after N commands')
    parser.add_argument('--drop-in-literal', action='append', default=[], metavar='PREFIX',
                        help='IMAP: close the connection halfway through the literal of such a command')
    parser.add_argument('--invalid', action='append', default=[], metavar='PREFIX',
                        help='IMAP: answer such a command with an invalid reply line')
    parser.add_argument('--invalid-reply', default=quillon_imap.DEFAULT_INVALID_REPLY,
                        help='IMAP: the invalid reply line')
    parser.add_argument('--imap-refuse-reply', default=quillon_imap.DEFAULT_REFUSAL,
                        help='IMAP: the refusal after the tag ("NO ..." or "BAD ...")')
    parser.add_argument('--control', metavar='FILE',
                        help='JSON file whose fault settings replace the options above while it exists')
    for module in SIDE_MODULES:
        module.add_arguments(parser)
    arguments = parser.parse_args(argv)
    if bool(arguments.cert) != bool(arguments.key):
        parser.error('--cert and --key go together')
    if arguments.protocols is None:
        arguments.protocols = ','.join(name for name, session_class in PROTOCOLS.items()
                                       if arguments.cert or not _implicit_tls(session_class))
    names = arguments.protocols.split(',')
    unknown = set(names) - set(PROTOCOLS)
    if unknown:
        parser.error('unknown protocol: %s' % ', '.join(sorted(unknown)))
    if not arguments.cert and any(_implicit_tls(PROTOCOLS[name]) for name in names):
        parser.error('TLS from the first byte needs --cert and --key')
    return arguments


def _implicit_tls(session_class):
    return getattr(session_class, 'IMPLICIT_TLS', False)


def make_context(arguments):
    admins = {}
    for entry in arguments.admin or ['postmaster:postmaster']:
        name, colon, password = entry.partition(':')
        if not colon:
            raise SystemExit('--admin wants NAME:PASSWORD, not %r' % entry)
        admins[name] = password
    tls_context = None
    if arguments.cert:
        tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls_context.load_cert_chain(arguments.cert, arguments.key)
    faults = FaultPlan({'refuse': arguments.refuse, 'drop': arguments.drop, 'stall': arguments.stall,
                        'drop_after': arguments.drop_after, 'stall_after': arguments.stall_after,
                        'refuse_reply': arguments.refuse_reply, 'drop_literal': arguments.drop_in_literal,
                        'invalid': arguments.invalid, 'invalid_reply': arguments.invalid_reply,
                        'imap_refuse_reply': arguments.imap_refuse_reply, 'stall_for': arguments.stall_for},
                       arguments.control)
    os.makedirs(arguments.state_dir, exist_ok=True)
    context = ServerContext(arguments.state_dir, admins, faults, tls_context)
    for module in SIDE_MODULES:
        module.configure(context, arguments)
    return context


def serve(listener, session_class, context):
    while True:
        try:
            client, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=run_session, args=(session_class, context, client), daemon=True).start()


def run_session(session_class, context, client):
    connection = LineConnection(client)
    try:
        if _implicit_tls(session_class):
            connection.start_tls(context.tls_context)
        session_class(context, connection, context.next_session()).run()
    except (OSError, ssl.SSLError):
        pass
    finally:
        connection.close()


def main(argv):
    arguments = parse_arguments(argv)
    context = make_context(arguments)
    ports = []
    for name in arguments.protocols.split(','):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(('127.0.0.1', 0))
        listener.listen(16)
        ports.append('%s=%d' % (name, listener.getsockname()[1]))
        threading.Thread(target=serve, args=(listener, PROTOCOLS[name], context), daemon=True).start()
    port_line = ' '.join(ports)
    if arguments.port_file:
        temporary = arguments.port_file + '.tmp'
        with open(temporary, 'w', encoding='ascii') as file:
            file.write(port_line + '\n')
        os.replace(temporary, arguments.port_file)
    print(port_line, flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
