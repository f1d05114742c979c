#!/usr/bin/python3
"""Reads a mail the way a mail program does (Python's email package) and
prints what the tests check, as JSON: the headers (encoded-words decoded),
the content type, the plain and HTML parts decoded to text, the longest
line of the raw mail, and the defects the parser found.

Usage: mail_parts.py FILE.eml
"""
import email
import email.policy
import json
import sys


def main():
    raw = open(sys.argv[1], "rb").read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    parts = {}
    defects = [type(d).__name__ for d in message.defects]
    for part in message.walk():
        defects += [type(d).__name__ for d in part.defects]
        if part.get_content_maintype() == "text":
            # The wire's CRLF as the LF a program's text has.
            parts[part.get_content_type()] = part.get_content().replace("\r\n", "\n")
    headers = {name: str(message[name]) for name in set(message.keys())}
    print(json.dumps({
        "headers": headers,
        "header_count": {name: len(message.get_all(name)) for name in set(message.keys())},
        "type": message.get_content_type(),
        "text": parts.get("text/plain"),
        "html": parts.get("text/html"),
        "longest_line": max(len(line) for line in raw.split(b"\r\n")),
        "bare_lf": raw.replace(b"\r\n", b"").count(b"\n"),
        "defects": defects,
    }))


if __name__ == "__main__":
    main()
