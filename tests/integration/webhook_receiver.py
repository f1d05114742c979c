#!/usr/bin/python3
"""A webhook receiver on loopback for the tests: checks every signature.

    webhook_receiver.py --secret-file FILE --record FILE [--port N] [--port-file FILE]

Listens on 127.0.0.1 (port 0: a free one, written to --port-file). Each POST
must carry webhook-id, webhook-timestamp (within five minutes of now) and a
webhook-signature whose v1 value is the base64 HMAC-SHA256 of
"ID.TIMESTAMP.BODY" under the key of the secret ("whsec_" and base64). A
request that fails the check is answered 401 and recorded as rejected; one
that holds is recorded and answered as its path asks:

    /ok/...            200
    /fail-first/N/...  500 for the first N requests of each webhook-id, then 200
    /hang-first/...    the first request to it at all waits 40 s before answering
                       (past the sender's time-out), every later one 200
    /redirect/...      302 to /target/ (which records what reaches it)

Every request is one JSON line in --record: path, id, timestamp, the body
as text, when it was received (time.time()), the status answered and
whether the signature held. Runs until SIGTERM or SIGINT.
"""
import argparse
import base64
import hashlib
import hmac
import http.server
import json
import os
import signal
import socketserver
import sys
import threading
import time

MAX_BODY = 1 << 20


class Receiver(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, key, record):
        super().__init__(address, Handler)
        self.key = key
        self.record = record
        self.lock = threading.Lock()
        self.hung = False
        self.seen = {}  # (first part of the path, webhook-id): requests so far


def signature_holds(key, headers, body):
    msg_id = headers.get('webhook-id', '')
    stamp = headers.get('webhook-timestamp', '')
    given = headers.get('webhook-signature', '')
    if not msg_id or not stamp.isdigit() or not given:
        return False
    if abs(time.time() - int(stamp)) > 300:
        return False
    signed = msg_id.encode() + b'.' + stamp.encode() + b'.' + body
    expected = base64.b64encode(hmac.new(key, signed, hashlib.sha256).digest()).decode()
    for part in given.split(' '):
        version, _, value = part.partition(',')
        if version == 'v1' and hmac.compare_digest(value, expected):
            return True
    return False


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def answer(self, status, location=None):
        self.send_response(status)
        if location:
            self.send_header('Location', location)
        self.send_header('Content-Length', '2')
        self.end_headers()
        self.wfile.write(b'ok')

    def do_POST(self):
        length = int(self.headers.get('Content-Length', '0') or 0)
        body = self.rfile.read(min(length, MAX_BODY))
        server = self.server
        valid = signature_holds(server.key, self.headers, body)
        msg_id = self.headers.get('webhook-id', '')
        parts = [p for p in self.path.split('/') if p]
        # Counted per receiver path: one event goes to several of them.
        seen_key = (parts[0] if parts else '', msg_id)
        with server.lock:
            count = server.seen.get(seen_key, 0) + 1 if valid else 0
            if valid:
                server.seen[seen_key] = count
        status, location, wait = 200, None, 0
        if not valid:
            status = 401
        elif parts[:1] == ['fail-first'] and len(parts) > 1 and count <= int(parts[1]):
            status = 500
        elif parts[:1] == ['hang-first'] and not server.hung:
            with server.lock:
                wait, server.hung = 40, True
        elif parts[:1] == ['redirect']:
            status, location = 302, '/target/'
        entry = {'path': self.path, 'id': msg_id,
                 'timestamp': self.headers.get('webhook-timestamp', ''),
                 'user_agent': self.headers.get('user-agent', ''),
                 'content_type': self.headers.get('content-type', ''),
                 'body': body.decode('utf-8', 'replace'), 'received': time.time(),
                 'status': status if not wait else 'hung', 'valid': valid}
        with server.lock:
            with open(server.record, 'a', encoding='utf-8') as out:
                out.write(json.dumps(entry, ensure_ascii=False) + '\n')
        if wait:
            time.sleep(wait)
        try:
            self.answer(status, location)
        except OSError:
            pass  # the sender gave up waiting

    def do_GET(self):
        self.answer(405)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--secret-file', required=True)
    parser.add_argument('--record', required=True)
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--port-file')
    args = parser.parse_args()
    with open(args.secret_file, encoding='ascii') as file:
        secret = file.read().strip()
    key = base64.b64decode(secret[6:] if secret.startswith('whsec_') else secret)
    server = Receiver(('127.0.0.1', args.port), key, args.record)
    if args.port_file:
        with open(args.port_file + '.part', 'w') as file:
            file.write(str(server.server_address[1]))
        os.replace(args.port_file + '.part', args.port_file)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
