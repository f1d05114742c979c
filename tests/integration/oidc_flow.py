#!/usr/bin/python3
"""Sign-in through a real OpenID provider, and the attacks on its round trip.

    oidc_flow.py --binary BUILD/apps/ostrand/ostrand [--provider tests/oidc/provider.mjs]

Starts the test provider (tests/oidc/provider.mjs: the npm oidc-provider
package over TLS from a throwaway CA) and `ostrand serve` on a demo database
with --oidc-issuer and --ca-file, then walks sign-ins the way a browser does
(each redirect followed by hand, the provider's own sign-in form filled in)
and tries what an attacker would: a forged state, no round cookie, a
replayed answer, a used code under a fresh state, a code issued to another
client, a round cookie whose nonce differs from the token's, and the
provider going down. Everything it starts is in a temporary folder, ended
on every way out, and the whole run is bounded in time.

Exits 0 when every check holds (or, with "skipped", when node is missing),
1 otherwise; prints the time one whole sign-in took.
"""
import argparse
import base64
import hashlib
import hmac
import html
import http.client
import json
import os
import re
import select
import shutil
import signal
import socket
import sqlite3
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
CLIENT_SECRET = 'flow-test-client-secret'
ROUND_COOKIE = 'ostrand_oidc'
RUN_LIMIT = 240  # seconds for the whole run
failures = []


def check(holds, what):
    print(('ok - ' if holds else 'not ok - ') + what)
    if not holds:
        failures.append(what)


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def read_line(process, limit, what):
    """The first line the process prints within `limit` seconds."""
    deadline = time.monotonic() + limit
    line = b''
    while not line.endswith(b'\n'):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([process.stdout], [], [], left)[0]:
            raise RuntimeError(f'{what} printed no address in {limit} s')
        chunk = os.read(process.stdout.fileno(), 1)
        if not chunk:
            raise RuntimeError(f'{what} ended before it printed its address')
        line += chunk
    return line.decode()


class Browser:
    """Keeps cookies per host (as a browser does, whatever the port for a
    host, Secure ones over TLS only) and follows no redirect by itself."""

    def __init__(self, ca):
        self.tls = ssl.create_default_context(cafile=ca)
        self.cookies = {}  # name -> (value, secure)

    def request(self, method, url, fields=None, cookies=None):
        parts = urllib.parse.urlsplit(url)
        secure = parts.scheme == 'https'
        if secure:
            connection = http.client.HTTPSConnection(parts.hostname, parts.port, timeout=30,
                                                     context=self.tls)
        else:
            connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=30)
        jar = self.cookies if cookies is None else cookies
        headers = {}
        sent = [f'{k}={v}' for k, (v, only_tls) in jar.items() if secure or not only_tls]
        if sent:
            headers['Cookie'] = '; '.join(sent)
        body = None
        if fields is not None:
            body = urllib.parse.urlencode(fields)
            headers['Content-Type'] = 'application/x-www-form-urlencoded'
        target = parts.path + ('?' + parts.query if parts.query else '')
        try:
            connection.request(method, target, body=body, headers=headers)
            response = connection.getresponse()
            text = response.read().decode('utf-8', 'replace')
            for header, value in response.getheaders():
                if header.lower() != 'set-cookie':
                    continue
                name, _, rest = value.partition('=')
                cookie = rest.split(';', 1)[0]
                if cookie and 'max-age=0' not in value.lower() and 'expires=thu, 01 jan 1970' not in value.lower():
                    jar[name] = (cookie, 'secure' in value.lower())
                else:
                    jar.pop(name, None)
            return response.status, dict(response.getheaders()), text
        finally:
            connection.close()

    def follow(self, url, until=None, limit=12):
        """GETs `url` and follows redirects; stops before a URL for which
        `until` holds. Returns (status, headers, body, url of that answer)."""
        for _ in range(limit):
            status, headers, body = self.request('GET', url)
            location = headers.get('Location')
            if status not in (302, 303) or not location:
                return status, headers, body, url
            location = urllib.parse.urljoin(url, location)
            if until and until(location):
                return status, headers, body, location
            url = location
        raise RuntimeError(f'too many redirects from {url}')


def provider_sign_in(browser, url, login, site, until=None):
    """Follows `url` to the provider's sign-in page, signs in there as
    `login`, and follows on until the answer comes back to the site (its
    callback address is returned, not yet requested)."""
    def at_site(location):
        return location.startswith(site) if until is None else until(location)
    status, _, body, page_url = browser.follow(url, until=at_site)
    if at_site(page_url):
        return page_url
    assert status == 200 and 'name="login"' in body, f'no sign-in page at {page_url}: {status}'
    action = html.unescape(re.search(r'<form[^>]*action="([^"]+)"', body).group(1))
    status, headers, _ = browser.request('POST', urllib.parse.urljoin(page_url, action),
                                         {'prompt': 'login', 'login': login, 'password': 'any'})
    assert status in (302, 303), f'the provider did not take the sign-in: {status}'
    location = urllib.parse.urljoin(page_url, headers['Location'])
    if at_site(location):
        return location
    _, _, _, back = browser.follow(location, until=at_site)
    return back


def round_cookie(browser):
    return browser.cookies.get(ROUND_COOKIE, ('', False))[0]


class Site:
    """`ostrand serve` with the provider configured, on a free port."""

    def __init__(self, binary, work, db, issuer, ca, port, extra=()):
        self.base = f'http://127.0.0.1:{port}'
        secret = os.path.join(work, 'site-secret')
        if not os.path.exists(secret):
            with open(secret, 'w') as out:
                out.write(os.urandom(32).hex())
        self.secret = secret
        client_secret = os.path.join(work, 'client-secret')
        with open(client_secret, 'w') as out:
            out.write(CLIENT_SECRET + '\n')
        self.log_path = os.path.join(work, f'serve-{port}.log')
        self.log = open(self.log_path, 'w+')
        self.process = subprocess.Popen(
            [binary, 'serve', '--db', f'sqlite:{db}', '--host', '127.0.0.1', '--port', str(port),
             '--secret-file', secret, '--oidc-issuer', issuer, '--oidc-client-id', 'ostrand',
             '--oidc-client-secret-file', client_secret, '--oidc-name', 'Test provider',
             '--ca-file', ca, *extra],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.log)
        read_line(self.process, 30, 'ostrand serve')

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def reseal_round(secret_file, value, change):
    """The round cookie `value` opened with the site's key, its text changed
    by `change`, and signed again: what only a holder of the key can make."""
    with open(secret_file, 'rb') as secret:
        key = hashlib.blake2b(secret.read(), digest_size=32).digest()
    fields, _, _ = value.rpartition('.')
    data, _, expires = fields.partition('.')
    text = base64.urlsafe_b64decode(data + '=' * (-len(data) % 4)).decode()
    encoded = base64.urlsafe_b64encode(change(text).encode()).decode().rstrip('=')
    fields = f'{encoded}.{expires}'
    tag = hmac.new(key, b'data:oidc-round\0' + fields.encode(), hashlib.sha512).digest()[:32]
    return fields + '.' + base64.urlsafe_b64encode(tag).decode().rstrip('=')


def audit_details(db):
    with sqlite3.connect(db) as connection:
        return [row[0] + ' ' + (row[1] or '') for row in
                connection.execute('SELECT kind, detail FROM hostAudit ORDER BY rowid')]


def run(args, work):
    db = os.path.join(work, 'demo.db')
    subprocess.run([args.binary, 'demo-db', db, '--password', 'flow-test-pass'], check=True,
                   stdout=subprocess.DEVNULL, cwd=work)
    site_port, creating_port = free_port(), free_port()
    site = f'http://127.0.0.1:{site_port}'
    provider = subprocess.Popen(
        ['node', args.provider, '--dir', os.path.join(work, 'provider'), '--site', site,
         '--site', f'http://127.0.0.1:{creating_port}', '--secret', CLIENT_SECRET],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=open(os.path.join(work, 'provider.log'), 'w'),
        start_new_session=True)
    started = [provider]
    try:
        started_at = json.loads(read_line(provider, 120, 'the provider'))
        issuer, ca = started_at['issuer'], started_at['ca']
        server = Site(args.binary, work, db, issuer, ca, site_port)
        started.append(server)
        creating = Site(args.binary, work, db, issuer, ca, creating_port, ['--auto-create', '1'])
        started.append(creating)
        check_flow(args, work, db, site, issuer, ca, server, provider, creating)
    finally:
        for thing in reversed(started):
            if isinstance(thing, Site):
                thing.stop()
            elif thing.poll() is None:
                os.killpg(thing.pid, signal.SIGTERM)
                try:
                    thing.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(thing.pid, signal.SIGKILL)
                    thing.wait()


def check_flow(args, work, db, site, issuer, ca, server, provider, creating):
    callback = site + '/login/oidc/callback'

    # The page offers the provider, and a sign-in lands on the page asked for
    # with a session.
    browser = Browser(ca)
    status, _, body = browser.request('GET', site + '/login')
    check(status == 200 and ('Sign in with Test provider' in body or '使用 Test provider 登录' in body),
          'the sign-in page offers the provider')
    began = time.monotonic()
    answer = provider_sign_in(browser, site + '/login/oidc?next=/schedule/leaderMonth.asp',
                              'leader', callback)
    kept_round = round_cookie(browser)
    answered = time.monotonic()
    status, headers, _ = browser.request('GET', answer)
    took = time.monotonic() - began
    callback_took = time.monotonic() - answered
    check(status == 303 and headers.get('Location') == '/schedule/leaderMonth.asp'
          and 'ostrand_session' in browser.cookies, 'a sign-in lands on the page asked for')
    status, _, body = browser.request('GET', site + '/schedule/leaderMonth.asp')
    check(status == 200, 'the session opens the page')
    print(f'one sign-in through the provider: {took * 1000:.0f} ms, of which the answer '
          f'(code traded, token checked, session started) {callback_took * 1000:.0f} ms')
    check(ROUND_COOKIE not in browser.cookies, 'the round cookie is cleared')
    check('sign-in oidc' in audit_details(db), 'the sign-in is in the audit log')

    # The same answer again, with the same round cookie: the state was taken.
    thief = Browser(ca)
    thief.cookies[ROUND_COOKIE] = (kept_round, False)
    status, _, _ = thief.request('GET', answer)
    check(status == 403, 'a replayed answer is refused')
    # A fresh sign-in's state with the code already used: the provider refuses.
    code = urllib.parse.parse_qs(urllib.parse.urlsplit(answer).query)['code'][0]
    status, headers, _ = thief.request('GET', site + '/login/oidc')
    fresh_state = urllib.parse.parse_qs(urllib.parse.urlsplit(headers['Location']).query)['state'][0]
    status, _, _ = thief.request(
        'GET', callback + '?' + urllib.parse.urlencode({'code': code, 'state': fresh_state}))
    check(status == 403, 'a used code under a fresh state is refused')

    # A forged state, and an answer without the round cookie.
    browser = Browser(ca)
    answer = provider_sign_in(browser, site + '/login/oidc', 'leader', callback)
    parts = urllib.parse.urlsplit(answer)
    query = urllib.parse.parse_qs(parts.query)
    forged = callback + '?' + urllib.parse.urlencode({'code': query['code'][0], 'state': 'forged'})
    status, _, body = browser.request('GET', forged)
    check(status == 403, 'a forged state is refused')
    browser2 = Browser(ca)
    answer = provider_sign_in(browser2, site + '/login/oidc', 'leader', callback)
    status, _, _ = browser2.request('GET', answer, cookies={})
    check(status == 403, 'an answer without the round cookie is refused')

    # A round cookie whose nonce is not the token's (signed with the site's
    # key, as only the site could): the token check refuses it.
    browser = Browser(ca)
    answer = provider_sign_in(browser, site + '/login/oidc', 'leader', callback)

    def other_nonce(text):
        lines = text.split('\n')
        lines[1] = 'not-the-nonce'
        return '\n'.join(lines)
    browser.cookies[ROUND_COOKIE] = (reseal_round(server.secret, round_cookie(browser), other_nonce),
                                     False)
    status, _, _ = browser.request('GET', answer)
    check(status == 403 and 'ostrand_session' not in browser.cookies,
          'a token whose nonce is not the round\'s is refused')

    # A code the provider issued to another client, brought back with this
    # browser's own state: the provider will not trade it for this site.
    browser = Browser(ca)
    other_redirect = 'https://other-app.invalid/callback'
    verifier = base64.urlsafe_b64encode(os.urandom(32)).decode().rstrip('=')
    challenge = base64.urlsafe_b64encode(
        hashlib.sha256(verifier.encode()).digest()).decode().rstrip('=')
    authorize = issuer + '/auth?' + urllib.parse.urlencode({
        'client_id': 'other-app', 'redirect_uri': other_redirect, 'response_type': 'code',
        'scope': 'openid profile', 'state': 'other-state', 'nonce': 'other-nonce',
        'code_challenge': challenge, 'code_challenge_method': 'S256'})
    other_answer = provider_sign_in(browser, authorize, 'leader', other_redirect,
                                    until=lambda url: url.startswith(other_redirect))
    other_code = urllib.parse.parse_qs(urllib.parse.urlsplit(other_answer).query)['code'][0]
    status, headers, _ = browser.request('GET', site + '/login/oidc')
    state = urllib.parse.parse_qs(urllib.parse.urlsplit(headers['Location']).query)['state'][0]
    status, _, _ = browser.request(
        'GET', callback + '?' + urllib.parse.urlencode({'code': other_code, 'state': state}))
    check(status == 403 and 'ostrand_session' not in browser.cookies,
          'a code issued to another client is refused')

    # The provider's own refusal (the visitor cancels at its sign-in page).
    browser = Browser(ca)
    status, _, body, page_url = browser.follow(site + '/login/oidc',
                                               until=lambda url: url.startswith(callback))
    abort = urllib.parse.urljoin(page_url, page_url.rstrip('/') + '/abort')
    _, _, _, answer = browser.follow(abort, until=lambda url: url.startswith(callback))
    status, _, body = browser.request('GET', answer)
    check(status == 403 and ('did not sign you in' in body or '未能为您登录' in body),
          'the provider\'s refusal is said')

    # Somebody the provider knows and no person here is: ask the administrator.
    browser = Browser(ca)
    answer = provider_sign_in(browser, site + '/login/oidc', 'stranger', callback)
    status, _, body = browser.request('GET', answer)
    check(status == 403 and 'stranger' in body and 'ostrand_session' not in browser.cookies,
          'an unknown user is asked to see the administrator')

    # With --auto-create, the same stranger becomes a new person, and signs
    # in as that person the next time too.
    for attempt in range(2):
        browser = Browser(ca)
        answer = provider_sign_in(browser, creating.base + '/login/oidc', 'newcomer',
                                  creating.base + '/login/oidc/callback')
        status, _, _ = browser.request('GET', answer)
        check(status == 303 and 'ostrand_session' in browser.cookies,
              f'with --auto-create a new person signs in (sign-in {attempt + 1})')
    with sqlite3.connect(db) as connection:
        made = connection.execute(
            "SELECT COUNT(*) FROM person WHERE personName = 'newcomer' AND systemID = 1").fetchone()[0]
    check(made == 1, 'the new person is made once, in the department asked for')
    creating.stop()

    # Signing out of a provider's session leads on to the provider's sign-out.
    browser = Browser(ca)
    answer = provider_sign_in(browser, site + '/login/oidc', 'leader', callback)
    browser.request('GET', answer)
    status, _, body = browser.request('GET', site + '/logout')
    csrf = re.search(r'name="csrf" value="([^"]*)"', body).group(1)
    status, headers, body = browser.request('POST', site + '/logout', {'csrf': csrf})
    refresh = headers.get('Refresh', '')
    check(status == 200 and refresh.startswith('0;url=' + issuer) and
          'post_logout_redirect_uri=' + urllib.parse.quote(site + '/login', safe='') in refresh,
          'sign-out leads on to the provider')
    status, _, _ = browser.request('GET', site + '/schedule/personMonth.asp')
    check(status == 303, 'the session ended here')

    # The provider down while an answer comes back: 503, nothing signed in.
    browser = Browser(ca)
    answer = provider_sign_in(browser, site + '/login/oidc', 'leader', callback)
    os.killpg(provider.pid, signal.SIGTERM)
    provider.wait(10)
    status, _, body = browser.request('GET', answer)
    check(status == 503 and 'ostrand_session' not in browser.cookies,
          'a provider that cannot be reached gives 503')
    server.stop()
    with open(server.log_path, errors='replace') as log:
        access = log.read()
    # A sanitizer's report (a leak, a bad access) ends the server otherwise.
    check(server.process.returncode == 0,
          f'the server stops cleanly ({server.process.returncode}): {access[-2000:]}'
          if server.process.returncode != 0 else 'the server stops cleanly')
    check('/login/oidc/callback' in access and 'code=' not in access,
          'the access log shows the callback without its code')

    # A new server whose provider cannot be reached at all: 503 at the start.
    other = Site(args.binary, work, db, issuer, ca, free_port())
    try:
        status, _, _ = Browser(ca).request('GET', other.base + '/login/oidc')
        check(status == 503, 'a sign-in cannot start without the provider: 503')
    finally:
        other.stop()

    # Each refusal above for its own reason, in the order tried.
    reasons = [d[len('sign-in-failed oidc: '):] for d in audit_details(db)
               if d.startswith('sign-in-failed oidc: ')]
    expected = ['state used or expired', 'the OpenID provider refused', 'state mismatch',
                'no sign-in cookie', 'nonce', 'the OpenID provider refused',
                'provider answered access_denied', 'no person linked to stranger',
                'provider unavailable']
    check(len(reasons) == len(expected) and
          all(part in reason for part, reason in zip(expected, reasons)),
          'each refusal is in the audit log with its own reason: ' + '; '.join(reasons))
    check(not any(code in d for d in audit_details(db)), 'no code in the audit log')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--binary', required=True)
    parser.add_argument('--provider', default=os.path.join(HERE, '..', 'oidc', 'provider.mjs'))
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    args.provider = os.path.abspath(args.provider)
    if shutil.which('node') is None:
        print('oidc_flow: skipped: node not found')
        return 0
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(TimeoutError('run limit')))
    signal.alarm(RUN_LIMIT)
    work = tempfile.mkdtemp(prefix='ostrand-oidc-')
    try:
        run(args, work)
    except Exception as error:  # a failure to start or a broken step
        failures.append(f'{type(error).__name__}: {error}')
        print(f'not ok - {error}')
        for name in ('provider.log',) + tuple(f for f in os.listdir(work) if f.startswith('serve-')):
            path = os.path.join(work, name)
            if os.path.exists(path):
                print(f'--- {name}\n' + open(path, errors='replace').read()[-3000:])
    finally:
        signal.alarm(0)
        shutil.rmtree(work, ignore_errors=True)
    print(f'oidc_flow: {len(failures)} failed' if failures else 'oidc_flow: all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
