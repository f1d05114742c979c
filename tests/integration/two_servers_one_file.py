#!/usr/bin/python3
"""Two `ostrand serve` processes on one SQLite file, under load.

    two_servers_one_file.py --binary BUILD/apps/ostrand/ostrand [--seconds N] [--requests N]

Writes a demo database, starts two servers on it (sharing one secret file, as
several processes behind one address do), and then, at the same time:

- page loaders open month and leader pages on both servers,
- editors of several persons add plans through both servers' day editors,
  each with a content no other write uses,
- `ostrand call --db sqlite:DB GetName int:1` reads the file in a loop.

It stops after --requests page and editor requests or --seconds, whichever
comes first, stops the servers, and checks that `PRAGMA integrity_check`
says ok, that no request failed with a database error, and that every write
the servers acknowledged with 303 is in the database exactly once, with the
times, place and texts it was written with.

Exits 0 when all holds, 1 otherwise (printing what did not), and prints the
figures of the run: requests, writes, reads by `ostrand call`, seconds.
"""
import argparse
import http.client
import os
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

PASSWORD = 'two-servers-pass'
EDITORS = 6          # persons writing plans, split over the two servers
LOADERS = 4          # threads loading pages
HIDDEN_FIELD = re.compile(r'name="(\w+)" value="([^"]*)"')
ERROR_MESSAGE = re.compile(r'<p class="error">(.*?)</p>', re.S)


def message_of(page):
    """The message of an error page, or the start of any other page."""
    match = ERROR_MESSAGE.search(page)
    return match.group(1) if match else page[:200]


class Client:
    """One browser on one server: keeps its cookies, follows no redirect."""

    def __init__(self, port):
        self.port = port
        self.cookies = {}

    def request(self, method, path, fields=None):
        connection = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        headers = {}
        if self.cookies:
            headers['Cookie'] = '; '.join(f'{k}={v}' for k, v in self.cookies.items())
        body = None
        if fields is not None:
            body = urllib.parse.urlencode(fields)
            headers['Content-Type'] = 'application/x-www-form-urlencoded'
        try:
            connection.request(method, path, body=body, headers=headers)
            response = connection.getresponse()
            text = response.read().decode('utf-8', 'replace')
            for header, value in response.getheaders():
                if header.lower() != 'set-cookie':
                    continue
                name, _, rest = value.partition('=')
                cookie = rest.split(';', 1)[0]
                if cookie and 'Max-Age=0' not in value:
                    self.cookies[name] = cookie
                else:
                    self.cookies.pop(name, None)
            return response.status, text
        finally:
            connection.close()

    def sign_in(self, person):
        status, page = self.request('GET', '/login')
        fields = dict(HIDDEN_FIELD.findall(page))
        if status != 200 or 'signin' not in fields:
            raise RuntimeError(f'no sign-in form on port {self.port}: {status}')
        status, page = self.request('POST', '/login', {
            'signin': fields['signin'], 'person': str(person), 'password': PASSWORD})
        if status != 303:
            raise RuntimeError(f'person {person} could not sign in: {status}')


def start_server(binary, db, secret):
    process = subprocess.Popen(
        [binary, 'serve', '--db', 'sqlite:' + db, '--port', '0', '--secret-file', secret],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = process.stdout.readline()
    match = re.search(r'listening on http://127\.0\.0\.1:(\d+)/', line)
    if not match:
        process.kill()
        raise RuntimeError(f'server did not start: {line!r}')
    return process, int(match.group(1))


def stop_server(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Run:
    """What the load did: shared by the worker threads under one lock."""

    def __init__(self, requests, deadline):
        self.lock = threading.Lock()
        self.budget = requests
        self.deadline = deadline
        self.requests = 0
        self.reads = 0
        self.failures = []
        self.acknowledged = []  # (person, fields) of every write answered with 303
        self.unanswered = []    # writes whose answer was lost: may or may not be stored

    def take(self):
        """Whether another request may be made."""
        with self.lock:
            if self.requests >= self.budget or time.monotonic() >= self.deadline:
                return False
            self.requests += 1
            return True

    def fail(self, text):
        with self.lock:
            self.failures.append(text)

    def stopped(self):
        with self.lock:
            return self.requests >= self.budget or time.monotonic() >= self.deadline


def editor(run, client, person, places, number):
    """Adds plans one after the other, each with its own content."""
    sequence = 0
    while run.take():
        sequence += 1
        day = 1 + (sequence * 7 + number) % 28
        month = 1 + (sequence // 28) % 12
        date = f'2001-{month:02d}-{day:02d}'
        editor_path = f'/schedule/manage.asp?personID={person}&dt={date}'
        try:
            status, page = client.request('GET', editor_path)
            csrf = dict(HIDDEN_FIELD.findall(page)).get('csrf', '')
            if status != 200 or not csrf:
                run.fail(f'editor of {person} on {date}: {status}')
                continue
            place, kind = places[sequence % len(places)]
            fields = {
                'csrf': csrf, 'action': 'save', 'planID': '',
                'start': f'{date}T{8 + sequence % 8:02d}:{(sequence * 5) % 60:02d}',
                'end': f'{date}T{17 + sequence % 5:02d}:30',
                'kind': str(kind), 'place': str(place),
                'detail': f'房间{number}-{sequence}',
                'content': f'写入 {person}/{number}/{sequence}',
                'addition': '' if sequence % 3 else f'附加{sequence}',
                'flag': str(1 + sequence % 2),
            }
            try:
                status, page = client.request('POST', editor_path, fields)
            except (OSError, http.client.HTTPException) as error:
                with run.lock:
                    run.unanswered.append((person, fields))
                run.fail(f'write of {person} got no answer: {error}')
                continue
            if status == 303:
                with run.lock:
                    run.acknowledged.append((person, fields))
            else:
                run.fail(f'write of {person} on {date}: {status} {message_of(page)}')
        except (OSError, http.client.HTTPException) as error:
            run.fail(f'editor of {person}: {error}')


def loader(run, clients, number):
    pages = ['/schedule/personMonth.asp?dt=2001-{m:02d}-15', '/schedule/leaderMonth.asp?dt=2001-{m:02d}-01',
             '/schedule/personWeek.asp?dt=2001-{m:02d}-10', '/schedule/leaderWeek.asp?dt=2001-{m:02d}-20']
    sequence = number
    while run.take():
        sequence += 1
        client = clients[sequence % len(clients)]
        path = pages[sequence % len(pages)].format(m=1 + sequence % 12)
        try:
            status, page = client.request('GET', path)
            if status != 200:
                run.fail(f'page {path}: {status} {message_of(page)}')
        except (OSError, http.client.HTTPException) as error:
            run.fail(f'page {path}: {error}')


def reader(run, binary, db):
    while not run.stopped():
        result = subprocess.run([binary, 'call', '--db', 'sqlite:' + db, 'GetName', 'int:1'],
                                capture_output=True, text=True, timeout=30)
        with run.lock:
            run.reads += 1
        if result.returncode != 0:
            run.fail(f'ostrand call: {result.stderr.strip()}')
        time.sleep(0.02)


def check_database(db, run):
    problems = []
    connection = sqlite3.connect(db)
    try:
        integrity = [row[0] for row in connection.execute('PRAGMA integrity_check')]
        if integrity != ['ok']:
            problems.append('integrity_check: ' + ' / '.join(integrity)[:400])
            return problems
        for person, fields in run.acknowledged:
            rows = connection.execute(
                'SELECT personID, planStartTime, planEndTime, planAddrTypeID, planAddrID, '
                'planAddrDetail, planAddition, planFlagID FROM personPlan WHERE planContent = ?',
                (fields['content'],)).fetchall()
            expected = (person, fields['start'].replace('T', ' ') + ':00',
                        fields['end'].replace('T', ' ') + ':00', int(fields['kind']),
                        int(fields['place']), fields['detail'], fields['addition'] or None,
                        int(fields['flag']))
            if len(rows) != 1:
                problems.append(f'{fields["content"]!r} is stored {len(rows)} times')
            elif rows[0] != expected:
                problems.append(f'{fields["content"]!r} is stored as {rows[0]}, written as {expected}')
        acknowledged = {fields['content'] for _, fields in run.acknowledged}
        unanswered = {fields['content'] for _, fields in run.unanswered}
        stored = [row[0] for row in connection.execute(
            "SELECT planContent FROM personPlan WHERE planContent LIKE '写入 %'")]
        for content in stored:
            if content not in acknowledged and content not in unanswered:
                problems.append(f'{content!r} is stored but was never acknowledged')
    except sqlite3.DatabaseError as error:
        problems.append(f'database error while checking: {error}')
    finally:
        connection.close()
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--seconds', type=float, default=25)
    parser.add_argument('--requests', type=int, default=1500)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)

    with tempfile.TemporaryDirectory(prefix='ostrand_two_servers_') as directory:
        db = os.path.join(directory, 'schedule.db')
        secret = os.path.join(directory, 'secret')
        with open(secret, 'w') as file:
            file.write('0123456789abcdef0123456789abcdef-two-servers\n')
        subprocess.run([binary, 'demo-db', db, '--password', PASSWORD], check=True,
                       stdout=subprocess.DEVNULL)
        with sqlite3.connect(db) as connection:
            persons = [row[0] for row in connection.execute(
                'SELECT personID FROM person WHERE systemID = 1 ORDER BY dutyID, personID')]
            places = connection.execute(
                'SELECT planAddrID, planAddrTypeID FROM planAddr ORDER BY planAddrID').fetchall()
        leader, writers = persons[0], persons[1:1 + EDITORS]

        servers = [start_server(binary, db, secret) for _ in range(2)]
        try:
            ports = [port for _, port in servers]
            viewers = []
            for port in ports:
                viewer = Client(port)
                viewer.sign_in(leader)
                viewers.append(viewer)
            run = Run(args.requests, time.monotonic() + args.seconds)
            threads = [threading.Thread(target=reader, args=(run, binary, db))]
            for number, person in enumerate(writers):
                client = Client(ports[number % 2])
                client.sign_in(person)
                threads.append(threading.Thread(target=editor,
                                                args=(run, client, person, places, number)))
            for number in range(LOADERS):
                threads.append(threading.Thread(target=loader, args=(run, viewers, number)))
            started = time.monotonic()
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            seconds = time.monotonic() - started
        finally:
            for process, _ in servers:
                stop_server(process)

        problems = check_database(db, run) + run.failures
        print(f'{run.requests} requests, {len(run.acknowledged)} writes acknowledged, '
              f'{len(run.unanswered)} unanswered, {run.reads} reads by ostrand call, '
              f'{seconds:.1f} s')
        if problems:
            for problem in problems[:10]:
                print('FAILED:', problem)
            if len(problems) > 10:
                print(f'... and {len(problems) - 10} more')
            return 1
        print('integrity ok; every acknowledged write stored exactly once, as written')
        return 0


if __name__ == '__main__':
    sys.exit(main())
