#!/usr/bin/python3
"""A small HTTPS server for the tests of the OpenID client's requests.

Usage: https_answers.py CERT KEY. Listens on a free loopback port, prints
the port on the first line of standard output, and answers:
GET /doc (a small JSON document), GET /redirect (302 to /doc), GET /large
(2 MiB), and any POST with what it received (form body, Authorization and
Content-Type) as JSON. It stops by itself after a minute.
"""
import http.server
import json
import ssl
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path == "/doc":
            self.answer(200, b'{"ok": true}')
        elif self.path == "/redirect":
            self.answer(302, b"", [("Location", "/doc")])
        elif self.path == "/large":
            self.answer(200, b"x" * (2 << 20))
        else:
            self.answer(404, b"")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.answer(200, json.dumps({
            "form": body.decode(),
            "authorization": self.headers.get("Authorization", ""),
            "type": self.headers.get("Content-Type", ""),
        }).encode())


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    stop = threading.Timer(60, server.shutdown)
    stop.daemon = True
    stop.start()
    server.serve_forever()


if __name__ == "__main__":
    main()
