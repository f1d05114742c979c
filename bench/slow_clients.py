#!/usr/bin/env python3
"""Slow and idle clients against a running `ostrand serve`, for bench-web.

Usage: slow_clients.py PORT IDLE SLOW SECONDS READY_FILE

Opens IDLE keep-alive connections that each ask for /favicon.ico once and
then wait, and SLOW connections that send one byte of a request head every
two seconds. Writes READY_FILE once all are open, then watches the slow
ones until the server closes each or SECONDS pass. Prints, in
milliseconds from each slow client's first byte to its close, the
smallest, median and largest, then how many slow clients were never
closed and how many idle connections the server dropped.
"""
import select
import socket
import sys
import time

HEAD = b"GET / HTTP/1.1\r\nHost: x\r\n\r\n"


def connect(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def main():
    port, idle_count, slow_count, seconds = (int(a) for a in sys.argv[1:5])
    ready = sys.argv[5]
    idle = []
    for _ in range(idle_count):
        s = connect(port)
        s.sendall(b"GET /favicon.ico HTTP/1.1\r\nHost: x\r\n\r\n")
        s.settimeout(10)
        s.recv(65536)
        idle.append(s)
    slow = [connect(port) for _ in range(slow_count)]
    open(ready, "w").close()

    first = [None] * slow_count
    lived = [None] * slow_count
    index = {s.fileno(): i for i, s in enumerate(slow)}
    poller = select.poll()
    for s in slow:
        poller.register(s, select.POLLIN)
    started = time.monotonic()
    sent = 0
    while time.monotonic() - started < seconds and any(v is None for v in lived):
        now = time.monotonic()
        if sent < len(HEAD) and now - started >= sent * 2.0:
            for i, s in enumerate(slow):
                if lived[i] is None:
                    if first[i] is None:
                        first[i] = now
                    try:
                        s.send(HEAD[sent:sent + 1])
                    except OSError:
                        pass
            sent += 1
        for fd, _ in poller.poll(20):
            i = index[fd]
            try:
                data = slow[i].recv(256, socket.MSG_DONTWAIT)
            except BlockingIOError:
                continue
            except OSError:
                data = b""
            if not data:
                lived[i] = (time.monotonic() - first[i]) * 1000
                poller.unregister(fd)
    closed = sorted(v for v in lived if v is not None)
    dropped = 0
    for s in idle:
        s.setblocking(False)
        try:
            if not s.recv(1, socket.MSG_PEEK):
                dropped += 1
        except BlockingIOError:
            pass
        except OSError:
            dropped += 1
    if closed:
        print("%.0f %.0f %.0f %d %d" % (closed[0], closed[len(closed) // 2], closed[-1],
                                       slow_count - len(closed), dropped))
    else:
        print("0 0 0 %d %d" % (slow_count, dropped))


if __name__ == "__main__":
    main()
