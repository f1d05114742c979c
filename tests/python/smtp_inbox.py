#!/usr/bin/python3
"""A mail server for the tests of the mail channel (aiosmtpd).

Usage: smtp_inbox.py PORT FOLDER [USER PASSWORD]. Listens on 127.0.0.1:PORT,
prints "ready" once it does, and stores each mail it takes as FOLDER/N.eml
(the bytes as received) with FOLDER/N.json (the envelope: from, to, the
account that signed in). With USER and PASSWORD it asks for AUTH (PLAIN or
LOGIN, over plain loopback) and refuses other accounts. An addressee
busy@... gets 451 (try later), nobody@... gets 550 (refused). It stops on
SIGTERM, or by itself after two minutes.
"""
import json
import os
import signal
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Inbox:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("busy@"):
            return "451 4.3.0 Try again later"
        if address.startswith("nobody@"):
            return "550 5.1.1 No such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            number = self.count
        base = os.path.join(self.folder, str(number))
        with open(base + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        auth = session.auth_data
        login = auth.login.decode() if isinstance(auth, LoginPassword) else ""
        with open(base + ".json", "w") as out:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos, "login": login}, out)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 Message accepted"


def main():
    port, folder = int(sys.argv[1]), sys.argv[2]
    user = sys.argv[3].encode() if len(sys.argv) > 4 else None
    password = sys.argv[4].encode() if len(sys.argv) > 4 else None

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user
              and auth_data.password == password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    options = {}
    if user is not None:
        options = {"authenticator": authenticate, "auth_required": True,
                   "auth_require_tls": False}
    controller = Controller(Inbox(folder), hostname="127.0.0.1", port=port,
                            server_kwargs=options)
    controller.start()
    print("ready", flush=True)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait(120)
    controller.stop()


if __name__ == "__main__":
    main()
