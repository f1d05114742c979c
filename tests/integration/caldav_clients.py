#!/usr/bin/python3
"""What real calendar clients do against a CalDAV server, one row per operation.

    caldav_clients.py radicale [--json FILE] [--events N]
    caldav_clients.py ostrand --binary BUILD/apps/ostrand/ostrand [--json FILE] [--events N]
    caldav_clients.py url URL --user USER --password PASSWORD [--read-only URL] [--json FILE]

`radicale` starts Debian's Radicale (python3 -m radicale) with a temporary
configuration: its storage in a temporary folder, plain htpasswd users "ann"
and "bo", and a rights file under which ann may read one calendar of bo's
and not write it. `ostrand` writes a fresh SQLite database (init-db and a
few persons), gives person 1 a sign-in password and an app password made by
`ostrand app-password`, and starts `ostrand serve` on it. Either server runs
on a free loopback port, in a temporary folder, and is stopped when the
script ends, failed or not; the whole run is bounded in time (--timeout).
`url` runs against a server someone else started.

The same operations then run through python3-caldav and vdirsyncer:
discovery (principal, calendar home, calendars), a timed event, a whole-day
event, a weekly event with an excluded and a moved instance, reading them
back, a change, a delete, calendar-query by time range, calendar-multiget,
sync-collection (initial, then after a change and a delete), If-Match and
If-None-Match conflicts (412), a second object with a UID already used (409),
a PUT into a calendar the user may only read (403), and vdirsyncer syncing a
local folder both ways (pull, a local change pushed, a change on both sides
reported as a conflict, then resolved). The rows marked "ostrand" run only
there: the web sign-in password refused over CalDAV, a plan made in the
browser seen by the client, and the colleague's calendar found by discovery
(Radicale has no such calendars; it is given the other user's calendar).

Last, --events events (default 1000) are written in one go through
vdirsyncer (a local folder of that many files, synced up), and a fresh
local folder syncs them all down; both times are printed. No time is
asserted.

Prints one line per operation: the operation, PASS or FAIL, and what the
server answered. Exits 0 when every operation did what a CalDAV server
should, 1 otherwise. --json FILE writes the same as a JSON summary.
"""
import argparse
import datetime
import json
import os
import re
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.parse
import uuid

import caldav
from caldav.lib import error as caldav_error

ANN_PASSWORD = 'ann-radicale-pass'
BO_PASSWORD = 'bo-radicale-pass'
WEB_PASSWORD = 'web-sign-in-pass-1'


class Timeout(Exception):
    pass


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f'server ended at start with status {process.returncode}')
        try:
            with socket.create_connection(('127.0.0.1', port), timeout=1):
                return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError(f'server did not listen on port {port} within {seconds} s')


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


# ---------------------------------------------------------------------------
# The servers.

class RadicaleServer:
    """Radicale on a free port with users ann and bo; ann may read bo/team."""

    kind = 'radicale'

    def __init__(self, folder):
        self.folder = folder
        self.process = None

    def start(self):
        port = free_port()
        users = os.path.join(self.folder, 'users')
        with open(users, 'w') as f:
            f.write(f'ann:{ANN_PASSWORD}\nbo:{BO_PASSWORD}\n')
        rights = os.path.join(self.folder, 'rights')
        with open(rights, 'w') as f:
            f.write('[root]\nuser: .+\ncollection:\npermissions: R\n\n'
                    '[principal]\nuser: .+\ncollection: {user}\npermissions: RW\n\n'
                    '[own]\nuser: .+\ncollection: {user}/[^/]+\npermissions: rw\n\n'
                    '[team-read]\nuser: ann\ncollection: bo/team\npermissions: r\n\n'
                    '[team-principal]\nuser: ann\ncollection: bo\npermissions: R\n')
        config = os.path.join(self.folder, 'config')
        with open(config, 'w') as f:
            f.write(f'[server]\nhosts = 127.0.0.1:{port}\n\n'
                    f'[auth]\ntype = htpasswd\nhtpasswd_filename = {users}\n'
                    'htpasswd_encryption = plain\n\n'
                    f'[rights]\ntype = from_file\nfile = {rights}\n\n'
                    f'[storage]\nfilesystem_folder = {os.path.join(self.folder, "collections")}\n\n'
                    '[logging]\nlevel = warning\n')
        self.log = open(os.path.join(self.folder, 'radicale.log'), 'w')
        self.process = subprocess.Popen(
            ['/usr/bin/python3', '-m', 'radicale', '--config', config],
            stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        wait_for_port(port, self.process, 30)
        self.base = f'http://127.0.0.1:{port}'
        self.url = self.base + '/'
        self.user, self.password = 'ann', ANN_PASSWORD
        # Radicale has no calendar until a client makes one: ann's own, and
        # the one of bo's that ann may only read.
        ann = caldav.DAVClient(self.url, username='ann', password=ANN_PASSWORD)
        ann.principal().make_calendar(name='personal', cal_id='personal')
        bo = caldav.DAVClient(self.url, username='bo', password=BO_PASSWORD)
        team = bo.principal().make_calendar(name='team', cal_id='team')
        team.save_event(event_text('team-meeting@test', 'Team meeting',
                                   'DTSTART:20270104T090000Z\nDTEND:20270104T100000Z'))
        self.read_only = self.base + '/bo/team/'

    def stop(self):
        stop(self.process)
        if self.process is not None:
            self.log.close()


class OstrandServer:
    """`ostrand serve` on a fresh SQLite file; person 1 has an app password."""

    kind = 'ostrand'

    def __init__(self, folder, binary):
        self.folder = folder
        self.binary = binary
        self.process = None

    def ostrand(self, *words, input_text=None):
        return subprocess.run([self.binary, *words], input=input_text, capture_output=True,
                              text=True, timeout=60, check=True).stdout

    def start(self):
        self.db = os.path.join(self.folder, 'schedule.db')
        self.ostrand('init-db', 'sqlite:' + self.db)
        with sqlite3.connect(self.db) as db:
            db.executescript("""
                INSERT INTO personDuty VALUES (1, 'Head'), (4, 'Clerk');
                INSERT INTO person VALUES (1, 'Ann Leader', 1, 1), (2, 'Bo Clerk', 4, 1),
                                          (3, 'Cy Elsewhere', 4, 2);
                INSERT INTO planAddrType VALUES (1, 'office'), (2, 'in town'),
                                                (3, 'out of town'), (4, 'abroad');
                INSERT INTO planAddr VALUES (1, 'Room 3', 1), (2, 'City hall', 2);
            """)
        for person in ('1', '2'):
            self.ostrand('passwd', '--db', 'sqlite:' + self.db, person, '--password',
                         WEB_PASSWORD)
        self.password = self.ostrand('app-password', '--db', 'sqlite:' + self.db, '1',
                                     '--name', 'client test').strip()
        self.user = '1'
        secret = os.path.join(self.folder, 'secret')
        with open(secret, 'w') as f:
            f.write(os.urandom(32).hex() + '\n')
        self.log = open(os.path.join(self.folder, 'serve.log'), 'w')
        self.process = subprocess.Popen(
            [self.binary, 'serve', '--db', 'sqlite:' + self.db, '--port', '0',
             '--secret-file', secret],
            stdout=subprocess.PIPE, stderr=self.log, stdin=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        match = re.search(r'listening on (http://127\.0\.0\.1:\d+)/', line)
        if not match:
            stop(self.process)
            raise RuntimeError(f'ostrand serve did not start: {line!r}')
        self.base = match.group(1)
        self.url = self.base + '/dav/'
        self.read_only = None  # found by discovery

    def stop(self):
        stop(self.process)
        if self.process is not None:
            self.process.stdout.close()
            self.log.close()


class GivenServer:
    kind = 'url'

    def __init__(self, url, user, password, read_only):
        self.url, self.user, self.password, self.read_only = url, user, password, read_only
        self.base = url.split('/', 3)[0] + '//' + url.split('/', 3)[2]

    def start(self):
        pass

    def stop(self):
        pass


# ---------------------------------------------------------------------------
# Events.

def event_text(uid, summary, times, extra='', components=''):
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime('%Y%m%dT%H%M%SZ')
    body = (f'BEGIN:VEVENT\nUID:{uid}\nDTSTAMP:{stamp}\n{times}\nSUMMARY:{summary}\n'
            f'{extra}END:VEVENT\n{components}')
    text = ('BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//ostrand tests//caldav clients//EN\n'
            + body + 'END:VCALENDAR\n')
    return text.replace('\n', '\r\n').replace('\r\n\r\n', '\r\n')


BERLIN = """BEGIN:VTIMEZONE
TZID:Europe/Berlin
BEGIN:STANDARD
DTSTART:19701025T030000
RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
TZNAME:CET
END:STANDARD
BEGIN:DAYLIGHT
DTSTART:19700329T020000
RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
TZNAME:CEST
END:DAYLIGHT
END:VTIMEZONE
"""


def ical_day(day):
    return day.strftime('%Y%m%d')


def ical_utc(moment):
    return moment.strftime('%Y%m%dT%H%M%SZ')


class Events:
    """The test's events, a few weeks ahead of today, starting on a Monday."""

    def __init__(self):
        today = datetime.date.today() + datetime.timedelta(days=14)
        self.monday = today + datetime.timedelta(days=(7 - today.weekday()) % 7)
        run = uuid.uuid4().hex[:8]
        self.single_uid = f'single-{run}@test'
        self.whole_uid = f'whole-{run}@test'
        self.weekly_uid = f'weekly-{run}@test'

    def at(self, days, hour=0, minute=0):
        d = self.monday + datetime.timedelta(days=days)
        return datetime.datetime(d.year, d.month, d.day, hour, minute,
                                 tzinfo=datetime.timezone.utc)

    def single(self, summary='Dentist'):
        tue = self.monday + datetime.timedelta(days=1)
        return event_text(self.single_uid, summary,
                          f'DTSTART;TZID=Europe/Berlin:{ical_day(tue)}T090000\n'
                          f'DTEND;TZID=Europe/Berlin:{ical_day(tue)}T103000',
                          'LOCATION:Main street 1\nCLASS:PUBLIC\n', BERLIN)

    def whole_day(self):
        wed = self.monday + datetime.timedelta(days=2)
        thu = wed + datetime.timedelta(days=1)
        return event_text(self.whole_uid, 'In town all day',
                          f'DTSTART;VALUE=DATE:{ical_day(wed)}\nDTEND;VALUE=DATE:{ical_day(thu)}')

    def weekly(self):
        # Six Mondays at 14:00 UTC; the third left out, the fourth moved to
        # Tuesday 16:00.
        master = (f'DTSTART:{ical_utc(self.at(0, 14))}\nDTEND:{ical_utc(self.at(0, 15))}\n'
                  'RRULE:FREQ=WEEKLY;COUNT=6')
        extra = f'EXDATE:{ical_utc(self.at(14, 14))}\n'
        stamp = datetime.datetime.now(datetime.timezone.utc).strftime('%Y%m%dT%H%M%SZ')
        moved = (f'BEGIN:VEVENT\nUID:{self.weekly_uid}\nDTSTAMP:{stamp}\n'
                 f'RECURRENCE-ID:{ical_utc(self.at(21, 14))}\n'
                 f'DTSTART:{ical_utc(self.at(22, 16))}\nDTEND:{ical_utc(self.at(22, 17))}\n'
                 'SUMMARY:Weekly review (moved)\nEND:VEVENT\n')
        return event_text(self.weekly_uid, 'Weekly review', master, extra, moved)


# ---------------------------------------------------------------------------
# The run.

class Report:
    def __init__(self, server):
        self.server = server
        self.rows = []
        self.figures = {}

    def row(self, operation, ok, result, only=None):
        self.rows.append({'operation': operation, 'ok': bool(ok), 'result': result,
                          'only': only})
        mark = 'PASS' if ok else 'FAIL'
        print(f'{operation:<44} {mark}  {result}', flush=True)

    def check(self, operation, function, only=None):
        """Runs function() -> (ok, result text); an exception is a failed row."""
        try:
            ok, result = function()
        except Exception as e:  # every failure becomes a row of the table
            ok, result = False, f'{type(e).__name__}: {str(e)[:300]}'
            traceback.print_exc(file=sys.stderr)
        self.row(operation, ok, result, only)
        return ok

    def failed(self):
        return [r for r in self.rows if not r['ok']]


def status_of(client, url, method, body='', headers=None):
    """The status and headers of one request of the client; the client
    raises on 401 and 403, which are answers here."""
    try:
        response = client.request(str(url), method, body, headers or {})
    except caldav_error.AuthorizationError as e:
        return (403 if 'Forbidden' in str(e.reason) else 401), {}
    return response.status, response.headers


def uids_of(objects):
    found = set()
    for obj in objects:
        for component in obj.icalendar_instance.walk('VEVENT'):
            found.add(str(component['UID']))
    return found


def etag_of(client, url):
    response = client.request(str(url), 'GET', '', {})
    if response.status != 200:
        raise RuntimeError(f'GET {url}: {response.status}')
    return response.headers.get('ETag'), response.raw


def privileges_writable(client, url):
    """Whether the calendar's current-user-privilege-set grants writing."""
    body = ('<?xml version="1.0" encoding="utf-8"?><propfind xmlns="DAV:"><prop>'
            '<current-user-privilege-set/></prop></propfind>')
    response = client.request(str(url), 'PROPFIND', body,
                              {'Depth': '0', 'Content-Type': 'application/xml'})
    text = response.raw if isinstance(response.raw, str) else response.raw.decode()
    if 'current-user-privilege-set' not in text:
        return None
    return bool(re.search(r'<[^>]*:?(write|write-content|all|bind)\s*/>', text))


def run_caldav(server, report, events):
    client = caldav.DAVClient(server.url, username=server.user, password=server.password)
    state = {}

    def discover():
        principal = client.principal()
        home = principal.calendar_home_set
        calendars = principal.calendars()
        state['principal'] = principal
        names = []
        own = None
        for calendar in calendars:
            name = calendar.get_display_name() or str(calendar.url)
            names.append(name)
            writable = privileges_writable(client, calendar.url)
            if server.kind == 'radicale' and own is None:
                own = calendar
            elif server.kind != 'radicale':
                if writable and own is None:
                    own = calendar
                elif writable is False and server.read_only is None:
                    server.read_only = str(calendar.url)
        state['calendar'] = own
        return (own is not None,
                f'principal {principal.url.path}, home {home.url.path if home else "-"}, '
                f'{len(calendars)} calendars: {", ".join(names)[:160]}')

    if not report.check('discover: principal, home, calendars', discover):
        return
    calendar = state['calendar']

    def create(name, text, uid):
        def run():
            created = calendar.save_event(text)
            state[uid] = created
            status, headers = status_of(client, created.url, 'GET')
            return status == 200, f'PUT then GET {status}, ETag {headers.get("ETag")}'
        return run

    report.check('create a timed event (Europe/Berlin)',
                 create('single', events.single(), events.single_uid))
    report.check('create a whole-day event', create('whole', events.whole_day(), events.whole_uid))
    report.check('create a weekly event: EXDATE, one moved',
                 create('weekly', events.weekly(), events.weekly_uid))

    def read_back():
        notes = []
        ok = True
        for uid in (events.single_uid, events.whole_uid, events.weekly_uid):
            obj = calendar.event_by_uid(uid)
            vevents = list(obj.icalendar_instance.walk('VEVENT'))
            ok = ok and all(str(v['UID']) == uid for v in vevents)
            notes.append(f'{uid.split("-")[0]}: {len(vevents)} VEVENT')
        weekly = calendar.event_by_uid(events.weekly_uid).data
        keeps = 'EXDATE' in weekly and 'RECURRENCE-ID' in weekly
        single = calendar.event_by_uid(events.single_uid).data
        keeps_place = 'Main street 1' in single
        notes.append('EXDATE and moved instance kept' if keeps else 'exception LOST')
        notes.append('LOCATION kept' if keeps_place else 'LOCATION lost')
        return ok and keeps and keeps_place, '; '.join(notes)

    report.check('read the events back (event_by_uid)', read_back)

    def query(start, end, expected):
        def run():
            found = uids_of(calendar.date_search(start=start, end=end))
            wanted = {u for u in expected}
            ours = {events.single_uid, events.whole_uid, events.weekly_uid}
            got = found & ours
            short = sorted(u.split('-')[0] for u in got)
            return got == wanted, f'found {short or "nothing"}'
        return run

    report.check('calendar-query: first Mon-Wed',
                 query(events.at(0), events.at(3),
                       [events.single_uid, events.whole_uid, events.weekly_uid]))
    report.check('calendar-query: second Monday only', query(events.at(7), events.at(8),
                                                             [events.weekly_uid]))
    report.check('calendar-query: the excluded Monday', query(events.at(14), events.at(15), []))
    report.check('calendar-query: the moved Tuesday', query(events.at(22), events.at(23),
                                                            [events.weekly_uid]))

    def multiget():
        urls = [state[u].url for u in (events.single_uid, events.whole_uid, events.weekly_uid)
                if u in state]
        objects = calendar.calendar_multiget(urls)
        with_data = [o for o in objects if o.data and 'BEGIN:VEVENT' in o.data]
        return len(with_data) == 3, f'{len(with_data)} of {len(urls)} with calendar-data'

    report.check('calendar-multiget of three', multiget)

    def sync_initial():
        objects = calendar.objects_by_sync_token()
        state['token'] = objects.sync_token
        count = len(list(objects))
        return bool(objects.sync_token) and count >= 3, f'{count} objects, token given'

    sync_ok = report.check('sync-collection: initial', sync_initial)

    def change():
        obj = calendar.event_by_uid(events.single_uid)
        before, _ = etag_of(client, obj.url)
        obj.data = events.single('Dentist moved to 11:00').replace('T090000', 'T110000').replace(
            'T103000', 'T120000')
        obj.save()
        after, text = etag_of(client, obj.url)
        text = text if isinstance(text, str) else text.decode()
        return before != after and 'moved to 11:00' in text, f'ETag {before} -> {after}'

    report.check('change the timed event', change)

    def delete():
        obj = calendar.event_by_uid(events.whole_uid)
        url = obj.url
        obj.delete()
        status, _ = status_of(client, url, 'GET')
        return status == 404, f'DELETE, then GET {status}'

    report.check('delete the whole-day event', delete)

    def sync_after():
        if not sync_ok:
            return False, 'no initial token'
        changes = calendar.objects_by_sync_token(state['token'])
        changed, gone = [], []
        for obj in changes:
            try:
                obj.load()
                changed.append(obj)
            except caldav_error.NotFoundError:
                gone.append(obj)
        changed_uids = uids_of(changed)
        ok = events.single_uid in changed_uids and len(gone) >= 1
        return ok, f'{len(changed)} changed ({", ".join(sorted(u.split("-")[0] for u in changed_uids))}), {len(gone)} removed'

    report.check('sync-collection: after a change and a delete', sync_after)

    def if_match():
        obj = calendar.event_by_uid(events.single_uid)
        etag, _ = etag_of(client, obj.url)
        text = events.single('Dentist third version')
        stale, _ = status_of(client, obj.url, 'PUT', text,
                             {'Content-Type': 'text/calendar', 'If-Match': '"not-the-tag"'})
        exists, _ = status_of(client, obj.url, 'PUT', text,
                              {'Content-Type': 'text/calendar', 'If-None-Match': '*'})
        right, _ = status_of(client, obj.url, 'PUT', text,
                             {'Content-Type': 'text/calendar', 'If-Match': etag})
        stale_delete, _ = status_of(client, obj.url, 'DELETE', '', {'If-Match': '"not-the-tag"'})
        ok = stale == 412 and exists == 412 and right in (200, 201, 204) and stale_delete == 412
        return ok, (f'stale If-Match {stale}, If-None-Match * {exists}, right If-Match {right}, '
                    f'stale DELETE {stale_delete}')

    report.check('If-Match / If-None-Match conflicts', if_match)

    def uid_elsewhere():
        url = calendar.url.join(f'another-name-{uuid.uuid4().hex[:6]}.ics')
        status, _ = status_of(client, url, 'PUT', events.weekly(),
                              {'Content-Type': 'text/calendar', 'If-None-Match': '*'})
        return status == 409, f'PUT of a used UID under another name: {status}'

    report.check('PUT with a UID used elsewhere', uid_elsewhere)

    def read_only():
        if not server.read_only:
            return False, 'no read-only calendar found'
        target = caldav.Calendar(client=client, url=server.read_only)
        listed = len(list(target.objects_by_sync_token()))
        url = target.url.join(f'intruder-{uuid.uuid4().hex[:6]}.ics')
        status, _ = status_of(client, url, 'PUT',
                              event_text(f'intruder-{uuid.uuid4().hex}@test', 'Not mine',
                                         f'DTSTART:{ical_utc(events.at(3, 9))}\n'
                                         f'DTEND:{ical_utc(events.at(3, 10))}'),
                              {'Content-Type': 'text/calendar'})
        return status == 403, f'{listed} objects readable, PUT {status}'

    report.check('PUT into a read-only calendar', read_only)

    if server.kind == 'ostrand':
        def web_password():
            other = caldav.DAVClient(server.url, username=server.user, password=WEB_PASSWORD)
            status, _ = status_of(other, server.url, 'PROPFIND', '', {'Depth': '0'})
            return status == 401, f'the sign-in password over CalDAV: {status}'

        report.check('sign-in password refused over CalDAV', web_password, only='ostrand')
        report.check('a plan made in the browser is seen', lambda: browser_plan(server, calendar,
                                                                                 events),
                     only='ostrand')
    state['calendar_url'] = str(calendar.url)
    return state


def browser_plan(server, calendar, events):
    """Signs in with the web password, adds a plan in the day editor, and
    looks for it through the client's sync."""
    import http.client
    cookies = {}

    def request(method, path, fields=None):
        connection = http.client.HTTPConnection(server.base.split('//')[1], timeout=30)
        headers = {}
        if cookies:
            headers['Cookie'] = '; '.join(f'{k}={v}' for k, v in cookies.items())
        body = None
        if fields is not None:
            body = urllib.parse.urlencode(fields)
            headers['Content-Type'] = 'application/x-www-form-urlencoded'
        connection.request(method, path, body=body, headers=headers)
        response = connection.getresponse()
        text = response.read().decode('utf-8', 'replace')
        for header, value in response.getheaders():
            if header.lower() == 'set-cookie':
                name, _, rest = value.partition('=')
                cookies[name] = rest.split(';', 1)[0]
        connection.close()
        return response.status, text, response.getheader('Location')

    fields_of = lambda page: dict(re.findall(r'name="(\w+)" value="([^"]*)"', page))
    before = calendar.objects_by_sync_token()
    status, page, _ = request('GET', '/login')
    status, page, _ = request('POST', '/login', {'signin': fields_of(page).get('signin', ''),
                                                 'person': server.user,
                                                 'password': WEB_PASSWORD})
    if status != 303:
        return False, f'web sign-in answered {status}'
    day = (events.monday + datetime.timedelta(days=4)).isoformat()
    editor = f'/schedule/manage.asp?personID={server.user}&dt={day}'
    status, page, _ = request('GET', editor)
    if status != 200:
        return False, f'day editor answered {status}'
    csrf = fields_of(page).get('csrf', '')
    status, page, _ = request('POST', editor, {
        'csrf': csrf, 'action': 'save', 'planID': '', 'start': f'{day}T09:00',
        'end': f'{day}T10:00', 'kind': '1', 'place': '1', 'detail': '',
        'content': 'From the browser', 'addition': '', 'flag': '1'})
    if status != 303:
        return False, f'the editor\'s save answered {status}'
    changes = calendar.objects_by_sync_token(before.sync_token, load_objects=True)
    texts = [o.data for o in changes if o.data]
    seen = any('From the browser' in t for t in texts)
    return seen, f'{len(texts)} changed objects after the browser\'s save; plan seen: {seen}'


# ---------------------------------------------------------------------------
# vdirsyncer.

def vdirsyncer_config(folder, server, calendar_url, local, name):
    status = os.path.join(folder, f'status-{name}')
    config = os.path.join(folder, f'config-{name}')
    with open(config, 'w') as f:
        f.write(f'[general]\nstatus_path = "{status}"\n\n'
                f'[pair {name}]\na = "{name}_local"\nb = "{name}_remote"\n'
                'collections = null\nconflict_resolution = null\n\n'
                f'[storage {name}_local]\ntype = "filesystem"\npath = "{local}"\n'
                'fileext = ".ics"\n\n'
                f'[storage {name}_remote]\ntype = "caldav"\nurl = "{calendar_url}"\n'
                f'username = "{server.user}"\npassword = "{server.password}"\n')
    os.makedirs(local, exist_ok=True)
    return config


def vdirsyncer(config, *words, seconds=300):
    return subprocess.run(['vdirsyncer', '-c', config, *words], capture_output=True, text=True,
                          timeout=seconds, stdin=subprocess.DEVNULL)


def local_items(local):
    items = {}
    for name in os.listdir(local):
        if name.endswith('.ics'):
            with open(os.path.join(local, name)) as f:
                items[name] = f.read()
    return items


def remote_text(calendar, uid):
    """The server's text of the event with that UID, as a plain GET of each
    object gives it."""
    for obj in calendar.events():
        obj.load()
        if f'UID:{uid}' in obj.data:
            return obj.data
    raise RuntimeError(f'no event {uid} on the server')


def run_vdirsyncer(folder, server, report, calendar_url, events):
    client = caldav.DAVClient(server.url, username=server.user, password=server.password)
    calendar = caldav.Calendar(client=client, url=calendar_url)
    local = os.path.join(folder, 'local')
    config = vdirsyncer_config(folder, server, calendar_url, local, 'two_ways')
    state = {}

    def pull():
        vdirsyncer(config, 'discover')
        done = vdirsyncer(config, 'sync')
        items = local_items(local)
        remote = len(calendar.events())
        state['items'] = items
        ok = done.returncode == 0 and len(items) == remote and remote > 0
        return ok, f'exit {done.returncode}, {len(items)} files for {remote} objects' + (
            '' if done.returncode == 0 else ': ' + done.stderr.strip()[-200:])

    if not report.check('vdirsyncer: pull into a local folder', pull):
        return

    def find_local(uid):
        for name, text in local_items(local).items():
            if f'UID:{uid}' in text:
                return name, text
        raise RuntimeError(f'no local file of {uid}')

    def push():
        name, text = find_local(events.weekly_uid)
        changed = text.replace('SUMMARY:Weekly review\r\n', 'SUMMARY:Weekly review edited locally\r\n'
                               ).replace('SUMMARY:Weekly review\n',
                                         'SUMMARY:Weekly review edited locally\n')
        with open(os.path.join(local, name), 'w') as f:
            f.write(changed)
        done = vdirsyncer(config, 'sync')
        remote = remote_text(calendar, events.weekly_uid)
        ok = done.returncode == 0 and 'edited locally' in remote
        return ok, f'exit {done.returncode}; server has the local edit: {"edited locally" in remote}'

    report.check('vdirsyncer: local edit pushed back', push)

    def conflict():
        name, text = find_local(events.single_uid)
        with open(os.path.join(local, name), 'w') as f:
            f.write(text.replace('SUMMARY:', 'SUMMARY:Local side - '))
        obj = calendar.event_by_uid(events.single_uid)
        obj.data = obj.data.replace('SUMMARY:', 'SUMMARY:Server side - ')
        obj.save()
        clash = vdirsyncer(config, 'sync')
        reported = clash.returncode != 0 and 'conflict' in (clash.stderr + clash.stdout).lower()
        # Resolved: the server's side wins.
        with open(config) as f:
            text = f.read()
        with open(config, 'w') as f:
            f.write(text.replace('conflict_resolution = null', 'conflict_resolution = "b wins"'))
        resolved = vdirsyncer(config, 'sync')
        _, after = find_local(events.single_uid)
        ok = reported and resolved.returncode == 0 and 'Server side' in after
        return ok, (f'first sync exit {clash.returncode} (conflict reported: {reported}); '
                    f'with "b wins" exit {resolved.returncode}, local has the server\'s: '
                    f'{"Server side" in after}')

    report.check('vdirsyncer: change on both sides', conflict)


def run_bulk(folder, server, report, calendar_url, count, start):
    """count events written in one go through vdirsyncer, then synced down
    into a fresh folder."""
    up = os.path.join(folder, 'bulk-up')
    os.makedirs(up, exist_ok=True)
    run = uuid.uuid4().hex[:6]
    for i in range(count):
        day = start + datetime.timedelta(days=i // 2)
        hour = 8 + (i % 2) * 3
        begin = datetime.datetime(day.year, day.month, day.day, hour, tzinfo=datetime.timezone.utc)
        text = event_text(f'bulk-{run}-{i}@test', f'Bulk event {i}',
                          f'DTSTART:{ical_utc(begin)}\n'
                          f'DTEND:{ical_utc(begin + datetime.timedelta(hours=2))}')
        with open(os.path.join(up, f'bulk-{run}-{i}.ics'), 'w') as f:
            f.write(text)

    def upload():
        config = vdirsyncer_config(folder, server, calendar_url, up, 'bulk_up')
        vdirsyncer(config, 'discover')
        began = time.monotonic()
        done = vdirsyncer(config, 'sync', seconds=900)
        seconds = time.monotonic() - began
        report.figures['put_seconds'] = round(seconds, 2)
        return done.returncode == 0, f'{count} events up in {seconds:.1f} s (exit {done.returncode})' + (
            '' if done.returncode == 0 else ': ' + done.stderr.strip()[-200:])

    def download():
        down = os.path.join(folder, 'bulk-down')
        config = vdirsyncer_config(folder, server, calendar_url, down, 'bulk_down')
        vdirsyncer(config, 'discover')
        began = time.monotonic()
        done = vdirsyncer(config, 'sync', seconds=900)
        seconds = time.monotonic() - began
        report.figures['sync_seconds'] = round(seconds, 2)
        got = sum(1 for text in local_items(down).values() if f'bulk-{run}-' in text)
        report.figures['events'] = count
        return done.returncode == 0 and got == count, (
            f'{got} of {count} down into a fresh folder in {seconds:.1f} s '
            f'(exit {done.returncode})')

    if report.check(f'vdirsyncer: {count} events up in one go', upload):
        report.check(f'vdirsyncer: full sync of {count} events', download)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('mode', choices=['radicale', 'ostrand', 'url'])
    parser.add_argument('url', nargs='?')
    parser.add_argument('--binary')
    parser.add_argument('--user')
    parser.add_argument('--password')
    parser.add_argument('--read-only')
    parser.add_argument('--json')
    parser.add_argument('--events', type=int, default=1000)
    parser.add_argument('--timeout', type=int, default=1200)
    args = parser.parse_args()

    def on_alarm(signum, frame):
        raise Timeout(f'the run took longer than {args.timeout} s')

    signal.signal(signal.SIGALRM, on_alarm)
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(1))
    signal.alarm(args.timeout)
    with tempfile.TemporaryDirectory(prefix='caldav-clients-') as folder:
        if args.mode == 'radicale':
            server = RadicaleServer(folder)
        elif args.mode == 'ostrand':
            if not args.binary:
                parser.error('ostrand needs --binary')
            server = OstrandServer(folder, args.binary)
        else:
            server = GivenServer(args.url, args.user, args.password, args.read_only)
        report = Report(server.kind)
        try:
            server.start()
            print(f'server: {server.kind} at {server.url} as user {server.user}', flush=True)
            events = Events()
            state = run_caldav(server, report, events)
            if state and 'calendar_url' in state:
                run_vdirsyncer(folder, server, report, state['calendar_url'], events)
                if args.events > 0:
                    run_bulk(folder, server, report, state['calendar_url'], args.events,
                             events.monday + datetime.timedelta(days=60))
        except Exception as e:
            report.row('run', False, f'{type(e).__name__}: {str(e)[:300]}')
            traceback.print_exc(file=sys.stderr)
        finally:
            signal.alarm(0)
            server.stop()
            if server.kind == 'ostrand' and getattr(server, 'log', None) is not None:
                with open(os.path.join(folder, 'serve.log')) as f:
                    tail = f.read()[-3000:]
                if report.failed():
                    print('--- the server\'s log (end) ---\n' + tail, file=sys.stderr)
    failed = report.failed()
    print(f'{len(report.rows) - len(failed)} passed, {len(failed)} failed')
    if report.figures:
        print('figures: ' + json.dumps(report.figures))
    if args.json:
        with open(args.json, 'w') as f:
            json.dump({'server': report.server, 'operations': report.rows,
                       'figures': report.figures}, f, indent=2)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
