#!/usr/bin/python3
"""Webhooks from `ostrand serve` to a real receiver (webhook_receiver.py).

    webhook_delivery.py --binary BUILD/apps/ostrand/ostrand SCENARIO [--postgres STATE]

Each scenario writes a demo database in a temporary folder, starts the
receiver and the servers it needs on free loopback ports, adds plans through
the day editor (signed in over HTTP) and reads what the receiver recorded;
every process it started is stopped whatever happens, and each wait is
bounded.

  delivery   one server, four receivers: /ok (shared entries only), /fail-first/1
             (private ones too: a 500, then delivered once), /hang-first (cut by the
             timeout and sent again) and /redirect (never followed). Prints the
             delay from each write's answer to its receipt (median).
  kill       plans written while the receiver is down; the server is killed with
             SIGKILL before any delivery, the receiver started, the server
             restarted: every event arrives exactly once.
  two        two servers on one SQLite file, plans written through both: every
             event arrives exactly once in total.
  two-pg     the same on the throwaway PostgreSQL of --postgres STATE (a schema
             of its own, dropped at the end).

Exits 0 when all holds, 1 otherwise (printing what did not).
"""
import argparse
import base64
import json
import os
import re
import signal
import socket
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from two_servers_one_file import Client, PASSWORD, HIDDEN_FIELD  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SECRET = 'whsec_' + base64.b64encode(b'outbox-test-key-0123456789abcdef').decode()


class Processes:
    """Every process the scenario starts, ended when it leaves."""

    def __init__(self):
        self.running = []

    def __enter__(self):
        return self

    def __exit__(self, *_):
        for process in reversed(self.running):
            stop(process)

    def start(self, command, **kwargs):
        process = subprocess.Popen(command, **kwargs)
        self.running.append(process)
        return process


def stop(process, sig=signal.SIGTERM):
    if process.poll() is not None:
        return
    process.send_signal(sig)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def start_receiver(processes, folder, port=0):
    secret = os.path.join(folder, 'secret.whsec')
    record = os.path.join(folder, 'received.jsonl')
    port_file = os.path.join(folder, f'receiver-{time.monotonic_ns()}.port')
    process = processes.start(
        ['/usr/bin/python3', os.path.join(HERE, 'webhook_receiver.py'), '--secret-file', secret,
         '--record', record, '--port', str(port), '--port-file', port_file])
    deadline = time.monotonic() + 20
    while not os.path.exists(port_file):
        if time.monotonic() > deadline or process.poll() is not None:
            raise RuntimeError('the receiver did not start')
        time.sleep(0.05)
    with open(port_file) as file:
        return int(file.read())


def received(folder):
    path = os.path.join(folder, 'received.jsonl')
    if not os.path.exists(path):
        return []
    with open(path, encoding='utf-8') as file:
        return [json.loads(line) for line in file if line.strip()]


def start_server(processes, binary, db, secret_file, hooks, extra=()):
    command = [binary, 'serve', '--db', db, '--port', '0', '--secret-file', secret_file,
               '--timezone', 'Asia/Shanghai']
    for hook in hooks:
        command += ['--webhook', hook['url'], '--webhook-secret-file', hook['secret']]
        if hook.get('private'):
            command += ['--webhook-private', hook['url']]
    command += list(extra)
    # What the servers report goes to one log beside the database, shown
    # when the scenario fails.
    log = open(os.path.join(os.path.dirname(secret_file), 'servers.log'), 'a')
    process = processes.start(command, stdout=subprocess.PIPE, stderr=log, text=True)
    log.close()
    line = process.stdout.readline()
    match = re.search(r'listening on http://127\.0\.0\.1:(\d+)/', line)
    if not match:
        raise RuntimeError(f'server did not start: {line!r}')
    return process, int(match.group(1))


def demo(binary, target):
    subprocess.run([binary, 'demo-db', target, '--password', PASSWORD], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)


def persons_and_places(db):
    with sqlite3.connect(db) as connection:
        persons = [row[0] for row in connection.execute(
            'SELECT personID FROM person WHERE systemID = 1 ORDER BY dutyID, personID')]
        places = connection.execute(
            'SELECT planAddrID, planAddrTypeID FROM planAddr ORDER BY planAddrID').fetchall()
    return persons, places


def add_plan(client, person, place, day, content, shared=True):
    """Adds a plan in the editor; the time its 303 came back."""
    date = f'2031-03-{day:02d}'
    path = f'/schedule/manage.asp?personID={person}&dt={date}'
    status, page = client.request('GET', path)
    csrf = dict(HIDDEN_FIELD.findall(page)).get('csrf', '')
    if status != 200 or not csrf:
        raise RuntimeError(f'no editor for {person} on {date}: {status}')
    fields = {'csrf': csrf, 'action': 'save', 'planID': '', 'start': f'{date}T09:00',
              'end': f'{date}T17:30', 'kind': str(place[1]), 'place': str(place[0]),
              'detail': '机密房间', 'content': content, 'addition': '附加说明',
              'flag': '1' if shared else '2'}
    status, _ = client.request('POST', path, fields)
    if status != 303:
        raise RuntimeError(f'write of {content!r} answered {status}')
    return time.time()


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def plan_events(entries, prefix):
    """The valid receipts of plan.added events whose content starts with prefix."""
    found = []
    for entry in entries:
        if not entry['valid'] or not entry['path'].startswith(prefix):
            continue
        body = json.loads(entry['body'])
        if body.get('type') == 'plan.added':
            found.append((entry, body))
    return found


def exactly_once(entries, prefix, expected_contents):
    """Problems unless each expected content arrived under one id, once, delivered."""
    problems = []
    by_content = {}
    ids = {}
    for entry, body in plan_events(entries, prefix):
        content = body['data']['plan']['content']
        by_content.setdefault(content, set()).add(entry['id'])
        if entry['status'] == 200:
            ids[entry['id']] = ids.get(entry['id'], 0) + 1
    for content in expected_contents:
        got = by_content.get(content, set())
        if len(got) != 1:
            problems.append(f'{content!r} arrived under {len(got)} ids')
            continue
        (msg_id,) = got
        if ids.get(msg_id, 0) != 1:
            problems.append(f'{content!r} ({msg_id}) was delivered {ids.get(msg_id, 0)} times')
    return problems, sum(1 for n in ids.values() if n == 1)


def print_delays(entries, prefix, answered):
    """Prints the delay from each write's answer to its first receipt."""
    first = {}
    for entry, body in plan_events(entries, prefix):
        content = body['data']['plan']['content']
        if content in answered and content not in first:
            first[content] = entry['received'] - answered[content]
    if first:
        delays = sorted(first.values())
        print(f'commit to receipt ({prefix}): median {statistics.median(delays) * 1000:.0f} ms, '
              f'max {max(delays) * 1000:.0f} ms over {len(delays)} events')


def prepare(folder, binary, target=None):
    db_file = os.path.join(folder, 'schedule.db')
    demo(binary, target or db_file)
    secret_file = os.path.join(folder, 'site.secret')
    with open(secret_file, 'w') as file:
        file.write('0123456789abcdef0123456789abcdef-webhooks\n')
    with open(os.path.join(folder, 'secret.whsec'), 'w') as file:
        file.write(SECRET + '\n')
    return db_file, secret_file


def scenario_delivery(binary, folder):
    db, site_secret = prepare(folder, binary)
    persons, places = persons_and_places(db)
    whsec = os.path.join(folder, 'secret.whsec')
    problems = []
    with Processes() as processes:
        port = start_receiver(processes, folder)
        base = f'http://127.0.0.1:{port}'
        hooks = [{'url': base + '/ok/', 'secret': whsec},
                 {'url': base + '/fail-first/1/', 'secret': whsec, 'private': True},
                 {'url': base + '/hang-first/', 'secret': whsec},
                 {'url': base + '/redirect/', 'secret': whsec}]
        _, server_port = start_server(processes, binary, 'sqlite:' + db, site_secret, hooks)
        client = Client(server_port)
        client.sign_in(persons[1])
        answered = {}
        for n in range(8):
            content = f'共享日程 {n}'
            answered[content] = add_plan(client, persons[1], places[n % len(places)], 1 + n,
                                         content)
        answered_private = add_plan(client, persons[1], places[0], 20, '私人日程', shared=False)
        contents = list(answered)
        # The 500 is tried again after 30 s, the hang after its 15 s cut and 30 s.
        wait_for(lambda: not exactly_once(received(folder), '/ok/', contents)[0] and
                 not exactly_once(received(folder), '/fail-first/', contents + ['私人日程'])[0] and
                 not exactly_once(received(folder), '/hang-first/', contents[:1])[0], 120)
        time.sleep(2)
        entries = received(folder)
        found = exactly_once(entries, '/ok/', contents)
        problems += ['/ok/: ' + p for p in found[0]]
        problems += ['/fail-first/: ' + p
                     for p in exactly_once(entries, '/fail-first/', contents + ['私人日程'])[0]]
        problems += ['/hang-first/: ' + p
                     for p in exactly_once(entries, '/hang-first/', contents)[0]]
        fails = [e for e in entries if e['path'].startswith('/fail-first/') and e['status'] == 500]
        if not fails:
            problems.append('the receiver that fails first never answered 500')
        hung = [e for e in entries if e['path'].startswith('/hang-first/') and e['status'] == 'hung']
        if not hung:
            problems.append('no request hung')
        # The body: signed, as documented, shared entries only where not private.
        for entry, body in plan_events(entries, '/ok/'):
            plan = body['data']['plan']
            if plan['content'] == '私人日程':
                problems.append('a private entry reached a receiver that is not private')
            if 'detail' in plan or 'addition' in plan:
                problems.append('a non-private receiver got the detail or addition')
            if not re.fullmatch(r'2031-03-\d\dT09:00:00\+08:00', plan['start']):
                problems.append(f'start {plan["start"]!r} is not the wall time with its offset')
            if body['data']['person']['id'] != persons[1] or body['data']['actor']['id'] != persons[1]:
                problems.append('person or actor missing')
            if entry['content_type'] != 'application/json' or not entry['user_agent']:
                problems.append('content-type or user-agent missing')
        private = [b for _, b in plan_events(entries, '/fail-first/')
                   if b['data']['plan']['content'] == '私人日程']
        if private and private[0]['data']['plan'].get('detail') != '机密房间':
            problems.append('the private receiver did not get the whole entry')
        if any(e['path'].startswith('/target/') for e in entries):
            problems.append('a redirect was followed')
        redirects = [e for e in entries if e['path'].startswith('/redirect/')]
        if not redirects:
            problems.append('the redirecting receiver got nothing')
        if any(not e['valid'] for e in entries):
            problems.append('a request failed the signature check')
        print_delays(entries, '/ok/', answered)
        print(f'{len(entries)} requests recorded; {len(fails)} answered 500, {len(hung)} hung, '
              f'{len(redirects)} redirected (not followed)')
        del answered_private
    return problems


def scenario_kill(binary, folder, events=12):
    db, site_secret = prepare(folder, binary)
    persons, places = persons_and_places(db)
    whsec = os.path.join(folder, 'secret.whsec')
    port = free_port()  # nothing listens there yet: the first attempts fail
    hooks = [{'url': f'http://127.0.0.1:{port}/ok/', 'secret': whsec}]
    contents = [f'杀死之前 {n}' for n in range(events)]
    with Processes() as processes:
        server, server_port = start_server(processes, binary, 'sqlite:' + db, site_secret, hooks)
        client = Client(server_port)
        client.sign_in(persons[2])
        for n, content in enumerate(contents):
            add_plan(client, persons[2], places[n % len(places)], 1 + n % 28, content)
        stop(server, signal.SIGKILL)
        with sqlite3.connect(db) as connection:
            pending = connection.execute(
                "SELECT COUNT(*) FROM hostEvent WHERE kind = 'plan.added'").fetchone()[0]
            delivered = connection.execute(
                "SELECT COUNT(*) FROM hostDelivery WHERE status = 'delivered'").fetchone()[0]
        if delivered:
            return [f'{delivered} deliveries were made before the kill: the window is not there']
        start_receiver(processes, folder, port)
        start_server(processes, binary, 'sqlite:' + db, site_secret, hooks)
        # Due again 30 s after the failed attempt, or when a dead lease ends.
        wait_for(lambda: not exactly_once(received(folder), '/ok/', contents)[0], 150)
        time.sleep(3)
        problems, once = exactly_once(received(folder), '/ok/', contents)
        print(f'kill -9: {pending} events committed before the kill, {once} of {events} '
              f'delivered exactly once after the restart')
    return problems


def scenario_two(binary, folder, target=None, events=40):
    db, site_secret = prepare(folder, binary, target)
    if target is None:
        persons, places = persons_and_places(db)
        target = 'sqlite:' + db
    else:
        persons, places = postgres_persons_and_places(target)
    whsec = os.path.join(folder, 'secret.whsec')
    with Processes() as processes:
        port = start_receiver(processes, folder)
        hooks = [{'url': f'http://127.0.0.1:{port}/ok/', 'secret': whsec}]
        servers = [start_server(processes, binary, target, site_secret, hooks) for _ in range(2)]
        contents = [f'两台服务器 {n}' for n in range(events)]
        writers = []
        for number in range(4):
            client = Client(servers[number % 2][1])
            client.sign_in(persons[1 + number])
            writers.append((client, persons[1 + number]))
        failures = []
        answered = {}

        def write(number):
            client, person = writers[number]
            try:
                for n in range(number, events, len(writers)):
                    answered[contents[n]] = add_plan(client, person, places[n % len(places)],
                                                     1 + n % 28, contents[n])
            except (RuntimeError, OSError) as error:
                failures.append(str(error))

        threads = [threading.Thread(target=write, args=(n,)) for n in range(len(writers))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        wait_for(lambda: not exactly_once(received(folder), '/ok/', contents)[0], 90)
        time.sleep(3)
        problems, once = exactly_once(received(folder), '/ok/', contents)
        print_delays(received(folder), '/ok/', answered)
        kind = 'PostgreSQL' if target.startswith('postgresql') else 'SQLite'
        print(f'two servers on {kind}: {once} of {events} events delivered exactly once')
    return failures + problems


def postgres_persons_and_places(target):
    def rows(sql):
        out = subprocess.run(['psql', target, '-At', '-F', ',', '-c', sql], check=True,
                             capture_output=True, text=True, timeout=30).stdout
        return [tuple(int(v) for v in line.split(',')) for line in out.splitlines() if line]
    persons = [r[0] for r in rows('SELECT personID FROM person WHERE systemID = 1 '
                                  'ORDER BY dutyID, personID')]
    places = rows('SELECT planAddrID, planAddrTypeID FROM planAddr ORDER BY planAddrID')
    return persons, places


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--postgres', help='STATE folder of scripts/test-postgres')
    parser.add_argument('scenario', choices=['delivery', 'kill', 'two', 'two-pg'])
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    with tempfile.TemporaryDirectory(prefix='ostrand_webhooks_') as folder:
        if args.scenario == 'delivery':
            problems = scenario_delivery(binary, folder)
        elif args.scenario == 'kill':
            problems = scenario_kill(binary, folder)
        elif args.scenario == 'two':
            problems = scenario_two(binary, folder)
        else:
            with open(os.path.join(args.postgres, 'conninfo')) as file:
                conninfo = file.read().strip()
            schema = f'webhooks_{os.getpid()}'
            subprocess.run(['psql', conninfo, '-q', '-c', 'SET client_min_messages = warning', '-c',
                            f'CREATE SCHEMA {schema}'], check=True,
                           timeout=30)
            try:
                problems = scenario_two(binary, folder,
                                        conninfo + '&options=-csearch_path%3D' + schema)
            finally:
                subprocess.run(['psql', conninfo, '-q', '-c', 'SET client_min_messages = warning',
                                '-c', f'DROP SCHEMA {schema} CASCADE'],
                               timeout=30)
        for problem in problems[:20]:
            print('FAILED:', problem)
        log = os.path.join(folder, 'servers.log')
        if problems and os.path.exists(log):
            with open(log, encoding='utf-8', errors='replace') as file:
                print('the servers reported:', *file.readlines()[-30:], sep='\n  ')
    if not problems:
        print('ok')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
