#!/usr/bin/python3
"""A TCP relay in front of an IMAP server for tests: it passes every connection through, keeps each
APPEND that a client sends (the folder, flags, date and the literal's bytes as sent) and can drop
the connection on which a given APPEND arrives, as a server or network that fails mid-run would.

    imap_relay.py --target-port N --port-file FILE --record DIR [--drop-at-append K]
                  [--add-capability WORD]

Once listening it writes its port to FILE. Each APPEND is kept as DIR/append-N.eml, with one JSON
line in DIR/appends.jsonl: {"command": the command line without its tag and literal, "file": path}.
With --drop-at-append K the K-th APPEND (counted over all connections, from 1) is not passed on:
both ends of its connection are closed instead. Later connections pass through. Every command line
(without literals) goes into DIR/commands.log. --add-capability WORD adds WORD to the server's
CAPABILITY lines, to see what a client does with an extension the server behind does not announce."""

import argparse
import json
import os
import queue
import re
import socket
import threading

_LITERAL = re.compile(rb'\{(\d+)(\+?)\}\r\n$')


class Recorder:
    def __init__(self, directory, drop_at):
        self.directory = directory
        self.drop_at = drop_at
        self.appends = 0
        self.lock = threading.Lock()

    def next_append(self):
        """The number of the APPEND that arrives now; True when it is the one to drop."""
        with self.lock:
            self.appends += 1
            return self.appends, self.appends == self.drop_at

    def command(self, line):
        with self.lock, open(os.path.join(self.directory, 'commands.log'), 'ab') as log:
            log.write(line)

    def keep(self, number, command, literal):
        path = os.path.join(self.directory, 'append-%d.eml' % number)
        with open(path, 'wb') as output:
            output.write(literal)
        with self.lock, open(os.path.join(self.directory, 'appends.jsonl'), 'a') as index:
            index.write(json.dumps({'number': number, 'command': command, 'file': path}) + '\n')


def close(*sockets):
    for s in sockets:
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        s.close()


def server_to_client(server, client, answers, added):
    """Server to client, a line at a time: a continuation or a tagged line goes into `answers`, so
    that the client's side knows whether a synchronising literal follows."""
    reader = server.makefile('rb')
    try:
        while True:
            line = reader.readline()
            if not line:
                break
            if added and line.startswith(b'* CAPABILITY '):
                line = line.rstrip(b'\r\n') + b' ' + added.encode() + b'\r\n'
            # Noted before the client sees it, so that its next command finds it noted.
            if line.startswith(b'+'):
                answers.put('continue')
            elif not line.startswith(b'*'):
                answers.put('tagged')
            client.sendall(line)
    except OSError:
        pass
    close(server, client)
    answers.put('closed')


def client_to_server(client, server, recorder, answers):
    """Client to server, a command line at a time with its literals, so that APPENDs are seen. A
    synchronising literal is only read once the server asked for it: a refusal ends the command."""
    reader = client.makefile('rb')
    try:
        while True:
            line = reader.readline()
            if not line:
                break
            parts = line.split(b' ', 2)
            append = len(parts) > 1 and parts[1].upper() == b'APPEND'
            if append:
                number, drop = recorder.next_append()
                if drop:
                    break
            recorder.command(line)
            match = _LITERAL.search(line)
            synchronising = match is not None and not match.group(2)
            while synchronising and not answers.empty():
                answers.get()  # the answers to earlier commands
            server.sendall(line)
            if not match:
                continue
            if synchronising and answers.get() != 'continue':
                continue
            literal = reader.read(int(match.group(1)))
            server.sendall(literal)
            if append:
                command = line[len(parts[0]) + 1:match.start()].decode('utf-8', 'surrogateescape').rstrip()
                recorder.keep(number, command, literal)
    except OSError:
        pass
    close(client, server)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--target-port', type=int, required=True)
    parser.add_argument('--port-file', required=True)
    parser.add_argument('--record', required=True)
    parser.add_argument('--drop-at-append', type=int, default=0)
    parser.add_argument('--add-capability', default='')
    arguments = parser.parse_args()
    recorder = Recorder(arguments.record, arguments.drop_at_append)
    listener = socket.socket()
    listener.bind(('127.0.0.1', 0))
    listener.listen(8)
    with open(arguments.port_file + '.new', 'w') as output:
        output.write('%d\n' % listener.getsockname()[1])
    os.rename(arguments.port_file + '.new', arguments.port_file)
    while True:
        client, _ = listener.accept()
        server = socket.create_connection(('127.0.0.1', arguments.target_port))
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        answers = queue.Queue()
        threading.Thread(target=server_to_client, args=(server, client, answers, arguments.add_capability),
                         daemon=True).start()
        threading.Thread(target=client_to_server, args=(client, server, recorder, answers), daemon=True).start()


if __name__ == '__main__':
    main()
