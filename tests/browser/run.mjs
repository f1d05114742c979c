#!/usr/bin/env node
// Browser tests of the web host in headless Chromium, driven by
// playwright-core.
//
//   node run.mjs --binary BUILD/apps/ostrand/ostrand [--screenshots DIR] [--docs DIR]
//
// Writes a demo database into a temporary directory, gives two demo persons a
// password, starts `ostrand serve` on a free loopback port, walks the pages as
// those two persons (the leader of system 1 and a colleague without a leading
// duty), saves a screenshot of every page it visits into --screenshots and,
// with --docs, the screenshots the README shows. It also checks every page
// in both languages with axe-core (WCAG 2.1 A and AA), walks from sign-in to
// a saved plan with the keyboard only, walks the administration (a person
// added, invited, signed in, retired; closed to everybody else), and checks
// the layout (a very long
// word, widths of 320 to 2,560 px, the month printed on one A4 page). Then
// it stops the server and removes the directory.
//
// Exits 0 when every test passed, 1 otherwise; exits 0 with a "skipped" line
// when Chromium is not installed. Installs node_modules with `npm ci` when
// playwright-core is missing.
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

// E-mail: the sample mails rendered.
import { defineMailSampleTests } from './mail_samples.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));

// The demo database's leader of system 1 (the demo account) and a colleague
// of the same system whose duty does not lead.
const LEADER = { id: 1 };
const COLLEAGUE = { id: 5 };
const PASSWORD = 'browser-test-pass';
// The date the server and the tests take for today: the 8th of this month,
// a pinned clock in the demo data's range.
const TODAY = (() => {
  const now = new Date();
  return new Date(now.getFullYear(), now.getMonth(), 8);
})();
const CHROMIUM_FLAGS = [
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

function parseArguments(argv) {
  const options = {
    binary: process.env.OSTRAND_BINARY,
    screenshots: path.resolve('screenshots'),
    docs: null,
    chromium: process.env.CHROMIUM || '/usr/bin/chromium',
  };
  for (let i = 0; i < argv.length; i += 2) {
    const [key, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${key} needs a value`);
    if (key === '--binary') options.binary = path.resolve(value);
    else if (key === '--screenshots') options.screenshots = path.resolve(value);
    else if (key === '--docs') options.docs = path.resolve(value);
    else if (key === '--chromium') options.chromium = value;
    else throw new Error(`unknown option ${key}`);
  }
  if (!options.binary) throw new Error('--binary (the built ostrand) is required');
  return options;
}

// Runs a command to completion and returns its standard output; throws with
// its standard error when it fails.
function run(command, args, cwd) {
  const result = spawnSync(command, args, { cwd, encoding: 'utf8' });
  if (result.error) throw result.error;
  if (result.status !== 0) {
    throw new Error(`${path.basename(command)} ${args.join(' ')} failed: ${result.stderr}`);
  }
  return result.stdout;
}

async function loadPlaywright() {
  const installed = ['playwright-core', 'axe-core']
    .every((name) => fs.existsSync(path.join(here, 'node_modules', name, 'package.json')));
  if (!installed) {
    console.log('installing playwright-core and axe-core with npm ci');
    const npm = spawnSync('npm', ['ci', '--no-audit', '--no-fund'], {
      cwd: here,
      stdio: 'inherit',
    });
    if (npm.status !== 0) throw new Error('npm ci failed');
  }
  return import('playwright-core');
}

// --- dates -----------------------------------------------------------------

const pad = (n) => String(n).padStart(2, '0');
// The component's date text: 2001-12-5.
const dayText = (d) => `${d.getFullYear()}-${d.getMonth() + 1}-${d.getDate()}`;
// The database's date text: 2001-12-05.
const isoDay = (d) => `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
const monthCaption = (d) => `${d.getFullYear()}年${d.getMonth() + 1}月`;
const addDays = (d, n) => new Date(d.getFullYear(), d.getMonth(), d.getDate() + n);
const firstOfMonth = (d, months = 0) => new Date(d.getFullYear(), d.getMonth() + months, 1);
const readDay = (text) => {
  const [y, m, d] = text.slice(0, 10).split('-').map(Number);
  return new Date(y, m - 1, d);
};

// --- the server ------------------------------------------------------------

class Server {
  constructor(binary) {
    this.binary = binary;
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrand-browser-'));
    this.db = path.join(this.dir, 'demo.db');
    this.log = [];
  }

  prepare() {
    // demo-db gives every demo person the one password; the leader and the
    // colleague below sign in with it.
    run(this.binary, ['demo-db', this.db, '--password', PASSWORD], this.dir);
    // The leader administers the site too.
    run(this.binary, ['admin', 'grant', String(LEADER.id), '--db', `sqlite:${this.db}`], this.dir);
    const secret = path.join(this.dir, 'secret');
    fs.writeFileSync(secret, crypto.randomBytes(32).toString('hex'), { mode: 0o600 });
    return secret;
  }

  async start() {
    const secret = this.prepare();
    const args = ['serve', '--db', `sqlite:${this.db}`, '--host', '127.0.0.1', '--port', '0',
      '--secret-file', secret, '--today', isoDay(TODAY)];
    this.process = spawn(this.binary, args, { cwd: this.dir, stdio: ['ignore', 'pipe', 'pipe'] });
    this.exited = new Promise((resolve) => {
      this.process.on('exit', (code, signal) => resolve({ code, signal }));
    });
    const keep = (chunk) => {
      this.log.push(...chunk.toString().split('\n').filter(Boolean));
      this.log.splice(0, Math.max(0, this.log.length - 200));
    };
    this.process.stderr.on('data', keep);
    this.base = await new Promise((resolve, reject) => {
      let seen = '';
      const timer = setTimeout(() => {
        reject(new Error(`no address from ostrand serve: ${seen}`));
      }, 20000);
      this.process.stdout.on('data', (chunk) => {
        keep(chunk);
        seen += chunk.toString();
        const match = /listening on (http:\/\/\S+?)\/?\s/.exec(seen);
        if (match) {
          clearTimeout(timer);
          resolve(match[1]);
        }
      });
      this.exited.then(({ code }) => {
        clearTimeout(timer);
        reject(new Error(`ostrand serve exited with ${code}: ${this.log.join('\n')}`));
      });
    });
  }

  // The person's plans overlapping the month of `day`, oldest first.
  plansOfMonth(personId, day) {
    const sql = `select planStartTime, planEndTime, planContent, planFlagID, planAddrTypeID
      from personPlan where personID=${Number(personId)}
      and planStartTime < '${isoDay(firstOfMonth(day, 1))}'
      and planEndTime >= '${isoDay(firstOfMonth(day))}' order by planStartTime`;
    const out = run('sqlite3', ['-json', this.db, sql]).trim();
    return out ? JSON.parse(out) : [];
  }

  // Adds a shared plan of the person on the day (9:00 to 10:00).
  addPlan(personId, day, content) {
    const text = content.replace(/'/g, "''");
    run('sqlite3', [this.db, `insert into personPlan (personID, planStartTime, planEndTime,
      planAddrTypeID, planAddrID, planContent, planFlagID) values (${Number(personId)},
      '${isoDay(day)} 09:00:00', '${isoDay(day)} 10:00:00', 1,
      (select planAddrID from planAddr where planAddrTypeID=1 limit 1), '${text}', 1)`]);
  }

  // Asks the server to stop and returns how it ended.
  async stop() {
    if (!this.process) return null;
    this.process.kill('SIGTERM');
    const timeout = new Promise((resolve) => setTimeout(() => resolve(null), 10000));
    const ended = await Promise.race([this.exited, timeout]);
    if (ended === null) this.process.kill('SIGKILL');
    return ended;
  }

  remove() {
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// --- the second factor ------------------------------------------------------

// The one-time code of the base32 key for the 30-second step (the standard
// time-based codes: HMAC-SHA1, six digits).
function oneTimeCode(base32, step) {
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ234567';
  let bits = '';
  for (const c of base32.replace(/\s+/g, '')) bits += alphabet.indexOf(c).toString(2).padStart(5, '0');
  const key = Buffer.from(bits.match(/.{8}/g).map((b) => parseInt(b, 2)));
  const counter = Buffer.alloc(8);
  counter.writeBigUInt64BE(BigInt(step));
  const mac = crypto.createHmac('sha1', key).update(counter).digest();
  const at = mac[mac.length - 1] & 0x0f;
  const number = (mac.readUInt32BE(at) & 0x7fffffff) % 1000000;
  return String(number).padStart(6, '0');
}

function defineSecondFactorTests(suite, { server, browser, url, shot }) {
  const person = { id: 2 };
  const step = () => Math.floor(Date.now() / 30000);

  suite.test('a person enrols a second factor from the QR page and signs in with a code', async () => {
    const context = await browser.newContext({ locale: 'en-GB', viewport: { width: 1100, height: 900 } });
    const page = await context.newPage();
    const signInWithPassword = async () => {
      await page.goto(url('personMonth.asp'));
      await page.fill('input[name=person]', String(person.id));
      await page.fill('input[name=password]', PASSWORD);
      await Promise.all([page.waitForNavigation(), page.click('div.signin button[type=submit]')]);
    };
    await signInWithPassword();
    assert.equal(new URL(page.url()).pathname, '/schedule/personMonth.asp');
    await page.goto(`${server.base}/account`);
    await Promise.all([page.waitForURL(/\/account\/second-factor/),
      page.click('section.second-factor a')]);
    const qr = page.locator('div.enrol-qr svg');
    assert.equal(await qr.count(), 1);
    const box = await qr.boundingBox();
    assert.ok(box && box.width >= 100 && box.width === box.height, `QR code box ${JSON.stringify(box)}`);
    await shot(page, 'second-factor-enrol');
    const key = (await page.locator('code.secret').textContent()).trim();
    await page.fill('form.enrol input[name=code]', oneTimeCode(key, step()));
    await Promise.all([page.waitForNavigation(), page.click('form.enrol button[type=submit]')]);
    const codes = await page.locator('ul.recovery-codes li').allTextContents();
    assert.equal(codes.length, 10);
    await shot(page, 'second-factor-recovery-codes');

    await page.goto(`${server.base}/logout`);
    await Promise.all([page.waitForURL(/\/login/), page.click('form.signout button')]);
    await signInWithPassword();
    assert.equal(new URL(page.url()).pathname, '/login/code');
    await shot(page, 'second-factor-code');
    // The code of the enrolment's step is taken: the next step's is due.
    await page.fill('input[name=code]', oneTimeCode(key, step() + 1));
    await Promise.all([page.waitForURL(/personMonth\.asp/),
      page.click('div.second-step button[type=submit]')]);
    await page.goto(`${server.base}/account/second-factor`);
    assert.ok((await page.locator('p.second-factor-state').textContent()).includes('since'));
    await context.close();
  });
}

// --- the tests ---------------------------------------------------------------

class Suite {
  constructor() {
    this.tests = [];
  }
  test(name, body) {
    this.tests.push({ name, body });
  }
  async run() {
    let passed = 0;
    let failed = 0;
    for (const { name, body } of this.tests) {
      try {
        await body();
        passed += 1;
        console.log(`ok - ${name}`);
      } catch (error) {
        failed += 1;
        console.log(`not ok - ${name}\n  ${String(error.stack || error).replace(/\n/g, '\n  ')}`);
      }
    }
    return { passed, failed };
  }
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  if (!fs.existsSync(options.chromium)) {
    console.log(`browser tests skipped: Chromium not found at ${options.chromium}`);
    return 0;
  }
  const { chromium } = await loadPlaywright();
  fs.mkdirSync(options.screenshots, { recursive: true });

  const server = new Server(options.binary);
  // However the runner ends (a CTest timeout, Ctrl-C, a closed output pipe),
  // it leaves no server or files behind.
  process.on('exit', () => {
    const child = server.process;
    if (child && child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
    server.remove();
  });
  for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(1));
  let browser;
  let result = { passed: 0, failed: 1 };
  try {
    await server.start();
    browser = await chromium.launch({
      executablePath: options.chromium,
      headless: true,
      args: CHROMIUM_FLAGS,
    });
    const suite = new Suite();
    defineTests(suite, { server, browser, options });
    defineOidcTests(suite, { server, browser, options });
    // E-mail.
    defineMailSampleTests(suite, { browser, options });
    result = await suite.run();
    await browser.close();
    browser = null;
    const ended = await server.stop();
    if (ended && ended.code === 0) {
      result.passed += 1;
      console.log('ok - the server stops cleanly on SIGTERM');
    } else {
      result.failed += 1;
      console.log(`not ok - the server stops cleanly on SIGTERM: ${JSON.stringify(ended)}`);
    }
  } catch (error) {
    console.log(`browser tests could not run: ${error.stack || error}`);
  } finally {
    if (browser) await browser.close().catch(() => {});
    await server.stop();
    if (result.failed > 0 && server.log.length > 0) {
      console.log(`server log (last lines):\n  ${server.log.slice(-40).join('\n  ')}`);
    }
    server.remove();
  }
  console.log(`${result.passed} passed, ${result.failed} failed`);
  return result.failed === 0 ? 0 : 1;
}

function defineTests(suite, { server, browser, options }) {
  // Every page of every context reports what the Content-Security-Policy
  // blocked (Chromium says so on the console); the last test reads them.
  const violations = [];
  const newContext = browser.newContext.bind(browser);
  browser.newContext = async (...args) => {
    const context = await newContext(...args);
    context.on('page', (page) => page.on('console', (message) => {
      if (/Content Security Policy/i.test(message.text())) {
        violations.push(`${page.url()}: ${message.text()}`);
      }
    }));
    return context;
  };
  const today = TODAY;
  const thisMonth = firstOfMonth(today);
  const nextMonth = firstOfMonth(today, 1);
  const url = (page, query = {}) => {
    const search = new URLSearchParams(query).toString();
    return `${server.base}/schedule/${page}${search ? `?${search}` : ''}`;
  };

  // The demo account's plans this month: the demo data promises a shared and
  // a private one, and one person's plans never overlap.
  const plans = server.plansOfMonth(LEADER.id, today);
  const shared = plans.find((p) => p.planFlagID === 1);
  const privately = plans.find((p) => p.planFlagID === 2);
  const shownDay = (plan) => {
    const start = readDay(plan.planStartTime);
    return start < thisMonth ? thisMonth : start;
  };
  // A day of this month without any plan of the demo account, for the editor.
  const busy = new Set();
  for (const p of plans) {
    for (let d = readDay(p.planStartTime); d <= readDay(p.planEndTime); d = addDays(d, 1)) {
      busy.add(isoDay(d));
    }
  }
  let freeDay = addDays(thisMonth, 1);
  while (busy.has(isoDay(freeDay))) freeDay = addDays(freeDay, 1);
  const addedContent = `浏览器测试私人安排${crypto.randomBytes(3).toString('hex')}`;

  const state = {};
  const shot = async (page, name) => {
    await page.screenshot({ path: path.join(options.screenshots, `${name}.png`), fullPage: true });
  };
  const dayCell = (page, day) => page.locator(`td[onclick="manage('${dayText(day)}');"]`);
  const pickerArrow = (page, image) => page.locator(`div.picker a:has(img[src$="${image}"])`);
  // Images the browser could not load or decode (the drawn GIFs among them).
  const brokenImages = (page) => page.evaluate(() => [...document.images]
    .filter((img) => !img.complete || img.naturalWidth === 0)
    .map((img) => img.src));
  const assertIncludes = (text, part, message) => {
    assert.ok(text.includes(part), message || `'${part}' is missing from '${text}'`);
  };

  const signIn = async (person) => {
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 1280, height: 860 } });
    const page = await context.newPage();
    await page.goto(url('personMonth.asp'));
    assert.match(page.url(), /\/login/);
    await page.fill('input[name=person]', String(person.id));
    await page.fill('input[name=password]', PASSWORD);
    await Promise.all([
      page.waitForURL(/personMonth\.asp/),
      page.click('div.signin button[type=submit]'),
    ]);
    return page;
  };

  suite.test('sign-in leads to one\'s own month plan', async () => {
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 1280, height: 860 } });
    const page = await context.newPage();
    await page.goto(`${server.base}/`);
    assert.match(page.url(), /\/login/);
    await shot(page, 'login');
    await context.close();

    state.leader = await signIn(LEADER);
    const page2 = state.leader;
    assert.equal(new URL(page2.url()).pathname, '/schedule/personMonth.asp');
    const name = (await page2.locator('nav.site-nav .who').textContent()).trim();
    assert.ok(name.length > 0);
    assertIncludes(await page2.locator('h1.person-name').textContent(), name);
    assertIncludes(await page2.locator('div.picker').textContent(), monthCaption(today));
    LEADER.name = name;
    await shot(page2, 'person-month');
  });

  // The README's screenshots show the demo data as it comes, before the
  // tests below add a plan.
  if (options.docs) {
    suite.test('screenshots for the README', async () => {
      fs.mkdirSync(options.docs, { recursive: true });
      const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 1100, height: 400 } });
      await context.addCookies(await state.leader.context().cookies());
      const page = await context.newPage();
      await page.goto(url('personMonth.asp', { dt: dayText(today) }));
      await page.screenshot({ path: path.join(options.docs, 'month.png'), fullPage: true });
      await page.goto(url('leaderMonth.asp', { dt: dayText(today) }));
      await page.screenshot({ path: path.join(options.docs, 'leader-month.png'), fullPage: true });
      await context.close();
    });
  }

  suite.test('the month shows one\'s own shared and private plans in their colours', async () => {
    const page = state.leader;
    assert.ok(shared && privately, 'the demo account has a shared and a private plan this month');
    for (const plan of [shared, privately]) {
      const cell = dayCell(page, shownDay(plan));
      assertIncludes(await cell.textContent(), plan.planContent);
      assert.equal(await cell.getAttribute('class'), `sch${plan.planAddrTypeID}`);
    }
    // The four kinds of place are four different colours, and the legend
    // shows the same ones.
    const colours = await page.evaluate(() => [1, 2, 3, 4].map((kind) => {
      const probe = document.createElement('td');
      probe.className = `sch${kind}`;
      document.body.appendChild(probe);
      const colour = getComputedStyle(probe).backgroundColor;
      probe.remove();
      return colour;
    }));
    assert.equal(new Set(colours).size, 4, `colours ${colours}`);
    assert.equal(await page.locator('ul.legend li').count(), 4);
    assert.deepEqual(await brokenImages(page), []);
  });

  suite.test('the month arrows move by a month and by a year', async () => {
    const page = state.leader;
    await Promise.all([page.waitForURL(/dt=/), pickerArrow(page, 'jian2.gif').click()]);
    assertIncludes(await page.locator('div.picker').textContent(), monthCaption(nextMonth));
    assert.ok(await dayCell(page, nextMonth).count() === 1, 'the grid shows the next month');
    await Promise.all([page.waitForNavigation(), pickerArrow(page, 'jian4.gif').click()]);
    const yearOn = new Date(nextMonth.getFullYear() + 1, nextMonth.getMonth(), 1);
    assertIncludes(await page.locator('div.picker').textContent(), monthCaption(yearOn));
    await Promise.all([page.waitForNavigation(), pickerArrow(page, 'jian3.gif').click()]);
    await Promise.all([page.waitForNavigation(), pickerArrow(page, 'jian1.gif').click()]);
    assertIncludes(await page.locator('div.picker').textContent(), monthCaption(today));
  });

  suite.test('the week tab opens the week plan and its arrows step by a week', async () => {
    const page = state.leader;
    await page.goto(url('personMonth.asp', { dt: dayText(today) }));
    await Promise.all([page.waitForURL(/personWeek\.asp/), page.locator('th.td2 a').click()]);
    assert.match(await page.locator('th.schh').first().textContent(), /周计划/);
    const captions = await page.locator('td.schh').allTextContents();
    assert.equal(captions.length, 7);
    assert.match(captions[0], /星期一/);
    assert.match(captions[6], /星期日/);
    const firstDay = async () => {
      const onclick = await page.locator('td.td1').first().getAttribute('onclick');
      return readDay(/manage\('([^']+)'/.exec(onclick)[1]);
    };
    const monday = await firstDay();
    assert.equal(monday.getDay(), 1);
    assert.ok(monday <= today && today < addDays(monday, 7), 'the week holds today');
    await shot(page, 'person-week');
    await Promise.all([page.waitForNavigation(), pickerArrow(page, 'jian2.gif').click()]);
    assert.equal(isoDay(await firstDay()), isoDay(addDays(monday, 7)));
    assert.deepEqual(await brokenImages(page), []);
    // And back to the month through the other tab.
    await Promise.all([page.waitForURL(/personMonth\.asp/), page.locator('th.td2 a').click()]);
  });

  suite.test('a click on a day opens the day editor for that date', async () => {
    const page = state.leader;
    await page.goto(url('personMonth.asp', { dt: dayText(freeDay) }));
    await Promise.all([page.waitForURL(/manage\.asp/), dayCell(page, freeDay).click()]);
    const query = new URL(page.url()).searchParams;
    assert.equal(query.get('personID'), String(LEADER.id));
    assert.equal(query.get('dt'), dayText(freeDay));
    assert.match(await page.locator('h1').textContent(),
      new RegExp(`${freeDay.getFullYear()}年${freeDay.getMonth() + 1}月${freeDay.getDate()}日`));
    assert.equal(await page.locator('form.editor').count(), 1);
    await shot(page, 'day-editor');
  });

  suite.test('the editor keeps what was typed when the input is wrong', async () => {
    const page = state.leader;
    await page.fill('form.editor input[name=start]', `${isoDay(freeDay)}T10:00`);
    await page.fill('form.editor input[name=end]', `${isoDay(freeDay)}T09:00`);
    await page.fill('form.editor input[name=content]', addedContent);
    await page.check('form.editor input[name=flag][value="2"]');
    await Promise.all([
      page.waitForLoadState('load'),
      page.click('form.editor button[type=submit]'),
    ]);
    await page.locator('ul.error').waitFor();
    assert.equal(await page.inputValue('form.editor input[name=content]'), addedContent);
    assert.equal(await page.inputValue('form.editor input[name=end]'), `${isoDay(freeDay)}T09:00`);
    assert.ok(await page.isChecked('form.editor input[name=flag][value="2"]'));
    await shot(page, 'day-editor-error');
  });

  suite.test('a plan added in the editor shows in the month', async () => {
    const page = state.leader;
    await page.fill('form.editor input[name=start]', `${isoDay(freeDay)}T09:30`);
    await page.fill('form.editor input[name=end]', `${isoDay(freeDay)}T11:00`);
    await page.selectOption('form.editor select[name=kind]', '2');
    // The first place of the second kind, 北京.
    const place = await page.locator('form.editor select[name=place] optgroup').nth(1)
      .locator('option').first().getAttribute('value');
    await page.selectOption('form.editor select[name=place]', place);
    await page.fill('form.editor input[name=content]', addedContent);
    await page.check('form.editor input[name=flag][value="2"]');
    await Promise.all([page.waitForURL(/saved=/),
      page.click('form.editor button[type=submit]')]);
    // Saving returns to the day with a notice; its back link to the page the
    // editor was opened from.
    assertIncludes(await page.locator('div.notice').textContent(), '已保存');
    await Promise.all([page.waitForURL(/personMonth\.asp/),
      page.click('p.day-nav a:has-text("返回")')]);
    const cell = dayCell(page, freeDay);
    assertIncludes(await cell.textContent(), addedContent);
    assert.equal(await cell.getAttribute('class'), 'sch2');
    await shot(page, 'person-month-after-save');
  });

  suite.test('a colleague sees only shared plans and cannot open the editor', async () => {
    const page = await signIn(COLLEAGUE);
    state.colleague = page;
    await page.goto(url('personMonth.asp', { personID: LEADER.id, dt: dayText(today) }));
    assertIncludes(await dayCell(page, shownDay(shared)).textContent(), shared.planContent);
    const privateCell = await dayCell(page, shownDay(privately)).textContent();
    assert.ok(!privateCell.includes(privately.planContent), 'the private demo plan is hidden');
    await page.goto(url('personMonth.asp', { personID: LEADER.id, dt: dayText(freeDay) }));
    assert.ok(!(await page.content()).includes(addedContent), 'the private plan is hidden');
    assert.equal(await dayCell(page, freeDay).getAttribute('class'), 'sch');
    await shot(page, 'person-month-colleague');
    const before = page.url();
    await dayCell(page, freeDay).click();
    await page.waitForTimeout(700);
    assert.equal(page.url(), before, 'a day click on another person\'s month goes nowhere');
    const editor = url('manage.asp', { personID: LEADER.id, dt: dayText(freeDay) });
    const response = await page.goto(editor);
    assert.equal(response.status(), 403);
    await shot(page, 'forbidden-editor');
  });

  suite.test('the leader month summary shows markers and tooltips', async () => {
    const page = state.leader;
    const response = await page.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    assert.equal(response.status(), 200);
    const table = page.locator('div.wide table');
    const days = new Date(today.getFullYear(), today.getMonth() + 1, 0).getDate();
    assert.equal(await table.locator('tr.schh th').count(), days + 1);
    const row = table.locator('tr', { has: page.locator(`td.td2:text-is("${LEADER.name}")`) });
    const cells = row.locator('td[title]');
    assert.equal(await cells.count(), days);
    const markers = { 1: '△', 2: '◇', 3: '▲', 4: '◆' };
    const sharedCell = cells.nth(shownDay(shared).getDate() - 1);
    assert.ok((await sharedCell.getAttribute('title')).split(/\r?\n/).includes(shared.planContent));
    // The marker as the component wrote it (the host script adds the kind
    // of place after it, for screen readers).
    const marker = (cell) => cell.firstChild ? cell.firstChild.textContent.trim() : '';
    assert.equal(await sharedCell.evaluate(marker), markers[shared.planAddrTypeID]);
    const kindName = (await sharedCell.locator('.sr-only').textContent()).trim();
    assert.ok(kindName.length > 0, 'the marker names its kind of place');
    assertIncludes(await page.locator(`ul.legend li:has(.marker.sch${shared.planAddrTypeID})`)
      .textContent(), kindName);
    for (const hidden of [privately.planContent, addedContent]) {
      assert.ok(!(await row.innerHTML()).includes(hidden), `${hidden} is private`);
    }
    const cellTexts = await table.locator('td[title]').evaluateAll(
      (cells) => cells.map((cell) => (cell.firstChild ? cell.firstChild.textContent : '')));
    const shownMarkers = new Set(cellTexts.map((t) => t.trim()));
    const kinds = Object.values(markers).filter((m) => shownMarkers.has(m));
    assert.ok(kinds.length >= 3, `markers shown: ${kinds}`);
    const legend = await page.locator('ul.legend').textContent();
    for (const marker of Object.values(markers)) assert.ok(legend.includes(marker), marker);
    await shot(page, 'leader-month');
    assert.deepEqual(await brokenImages(page), []);
  });

  suite.test('the leader month table scrolls sideways on a narrow screen', async () => {
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 420, height: 800 } });
    await context.addCookies(await state.leader.context().cookies());
    const page = await context.newPage();
    await page.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    const sizes = await page.evaluate(() => {
      const wide = document.querySelector('div.wide');
      const page = document.documentElement.scrollWidth;
      return { wide: wide.scrollWidth, shown: wide.clientWidth, page };
    });
    assert.ok(sizes.wide > sizes.shown, `table ${sizes.wide} within ${sizes.shown}`);
    assert.ok(sizes.page <= 420 + 1, `the page itself is ${sizes.page} wide`);
    await page.locator('div.wide').evaluate((wide) => { wide.scrollLeft = 300; });
    await shot(page, 'leader-month-narrow');
    await context.close();
  });

  suite.test('the other leader pages render', async () => {
    const page = state.leader;
    const pages = [
      ['leaderWeek.asp', '周汇总', 'leader-week'],
      ['leader2Month.asp', '月汇总', 'leader2-month'],
      ['leader2Week.asp', '周汇总', 'leader2-week'],
    ];
    for (const [name, tab, screenshot] of pages) {
      const response = await page.goto(url(name, { dt: dayText(today) }));
      assert.equal(response.status(), 200, name);
      assert.match(await page.locator('th.schh').first().textContent(), new RegExp(tab));
      assert.ok(await page.locator('div.wide table tr').count() > 1, `${name} has rows`);
      assert.deepEqual(await brokenImages(page), []);
      await shot(page, screenshot);
    }
  });

  // Today, weekends and holidays; the server's clock is pinned to TODAY.
  suite.test('today and the weekends are marked, and a holiday shows after an import', async () => {
    const page = state.leader;
    await page.goto(url('personMonth.asp', { dt: dayText(today) }));
    assert.match(await dayCell(page, today).getAttribute('class'), /\btoday\b/);
    let saturday = thisMonth;
    while (saturday.getDay() !== 6) saturday = addDays(saturday, 1);
    assert.match(await dayCell(page, saturday).getAttribute('class'), /\b(weekend|workday)\b/);

    // A holiday on the 20th, imported while the server runs.
    const holiday = addDays(thisMonth, 19);
    const file = path.join(server.dir, 'holidays.csv');
    fs.writeFileSync(file, `date,name,off|work\n${isoDay(holiday)},浏览器测试节,off\n`);
    run(server.binary, ['holidays', 'import', server.db, file], server.dir);
    await page.reload();
    const cell = dayCell(page, holiday);
    assert.match(await cell.getAttribute('class'), /\bday-off\b/);
    assert.equal(await cell.locator('span.day-label').textContent(), '浏览器测试节');
    assertIncludes(await cell.getAttribute('title'), '浏览器测试节（休）');
    assertIncludes(await page.locator('ul.day-notes').textContent(), '浏览器测试节');
    await shot(page, 'person-month-marked');
    if (options.docs) {
      await page.setViewportSize({ width: 1100, height: 400 });
      await page.screenshot({ path: path.join(options.docs, 'month-marked.png'), fullPage: true });
      await page.setViewportSize({ width: 1280, height: 860 });
    }
  });

  // A page of the leader in English, in a context of its own.
  const inEnglish = async (address, name) => {
    const context = await browser.newContext({ locale: 'en-GB', viewport: { width: 1280, height: 860 } });
    await context.addCookies(await state.leader.context().cookies());
    const page = await context.newPage();
    const next = new URL(address);
    await page.goto(`${server.base}/language?to=en&next=${encodeURIComponent(next.pathname + next.search)}`);
    assert.equal(await page.getAttribute('html', 'lang'), 'en');
    await shot(page, `${name}-en`);
    await context.close();
  };

  suite.test('the away page lists who is away today and this week', async () => {
    const page = state.leader;
    const response = await page.goto(url('away.asp'));
    assert.equal(response.status(), 200);
    assert.equal(await page.locator('section#away-day, section[aria-labelledby=away-day]').count(), 1);
    assertIncludes(await page.locator('#away-day').textContent(), '今天');
    assertIncludes(await page.locator('#away-week').textContent(), '本周');
    const people = page.locator('ul.away-list a.person');
    if (await people.count() > 0) {
      const href = await people.first().getAttribute('href');
      await Promise.all([page.waitForURL(/personMonth\.asp\?personID=/), people.first().click()]);
      assert.ok(href.includes('personID='));
      await page.goBack();
    }
    await shot(page, 'away');
    if (options.docs) {
      await page.screenshot({ path: path.join(options.docs, 'away.png'), fullPage: true });
    }
    await inEnglish(url('away.asp'), 'away');
  });

  suite.test('the leader summary over three months keeps the names in view', async () => {
    const page = state.leader;
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 900, height: 700 } });
    await context.addCookies(await state.leader.context().cookies());
    const narrow = await context.newPage();
    const response = await narrow.goto(url('leaderMonths.asp', { dt: dayText(today), months: 3 }));
    assert.equal(response.status(), 200);
    assert.equal(await narrow.locator('table.months th[scope=colgroup]').count(), 3);
    const name = narrow.locator('table.months tbody th.name').first();
    const before = await name.boundingBox();
    await narrow.locator('div.wide').evaluate((wide) => { wide.scrollLeft = 1500; });
    const after = await name.boundingBox();
    assert.ok(Math.abs(after.x - before.x) < 2, 'the name column stays while the table scrolls');
    await narrow.locator('div.wide').evaluate((wide) => { wide.scrollLeft = 0; });
    await shot(narrow, 'leader-months');
    if (options.docs) {
      await narrow.setViewportSize({ width: 1100, height: 500 });
      await narrow.screenshot({ path: path.join(options.docs, 'leader-months.png'), fullPage: true });
    }
    await Promise.all([narrow.waitForURL(/personMonth\.asp\?personID=/),
      narrow.locator('table.months tbody th.name a').first().click()]);
    await context.close();
    await page.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    assert.equal(await page.locator('nav.month-spans a').count(), 6);
    await inEnglish(url('leaderMonths.asp', { dt: dayText(today), months: 3 }), 'leader-months');
  });

  suite.test('a long list filters by name and pages at the size asked, keeping what was asked', async () => {
    const page = state.leader;
    await page.goto(url('leaderMonths.asp', { dt: dayText(today), months: 3, size: 25 }));
    const rows = page.locator('table.months tbody th.name');
    const everyone = await rows.count();
    assert.ok(everyone > 1, 'the department has several persons');
    assertIncludes(await page.locator('nav.pager .count').textContent(), `${everyone}`);
    assert.equal(await page.locator('nav.pager .page-sizes a[aria-current=page]').textContent(), '25');
    // A part of the first person's name keeps only those whose names hold it.
    const part = Array.from((await rows.first().textContent()).trim()).slice(-1)[0];
    await page.fill('form.list-filter input[name=q]', part);
    await Promise.all([page.waitForURL(/[?&]q=/), page.press('form.list-filter input[name=q]', 'Enter')]);
    const kept = await rows.allTextContents();
    assert.ok(kept.length >= 1 && kept.length <= everyone);
    for (const name of kept) assertIncludes(name, part);
    const address = new URL(page.url());
    assert.equal(address.searchParams.get('months'), '3', 'the filter keeps the span');
    assert.equal(address.searchParams.get('size'), '25', 'the filter keeps the page size');
    // Another size from the pager keeps the filter; nothing matching says so.
    await Promise.all([page.waitForURL(/size=100/), page.click('nav.pager .page-sizes a:text-is("100")')]);
    assert.equal(new URL(page.url()).searchParams.get('q'), part);
    assert.equal(await rows.count(), kept.length);
    await page.goto(url('leaderMonths.asp', { dt: dayText(today), months: 3, q: 'nobody-has-this' }));
    assert.equal(await rows.count(), 0);
    assert.ok((await page.locator('nav.pager .count').textContent()).trim().length > 0);
    await shot(page, 'leader-months-filtered');
  });

  suite.test('the editor asks before a delete, and the delete can be undone', async () => {
    const page = state.leader;
    await page.goto(url('manage.asp', { dt: dayText(freeDay) }));
    const row = page.locator('table.day-plans tr', { hasText: addedContent });
    await Promise.all([page.waitForURL(/delete=/), row.locator('a.delete').click()]);
    assertIncludes(await page.locator('div.confirm').textContent(), addedContent);
    await shot(page, 'day-editor-confirm');
    await Promise.all([page.waitForURL(/deleted=/), page.click('div.confirm button[type=submit]')]);
    assert.equal(await page.locator('table.day-plans tr', { hasText: addedContent }).count(), 0);
    await shot(page, 'day-editor-undo');
    await Promise.all([page.waitForURL(/restored=/), page.click('div.notice form.undo button')]);
    assert.equal(await page.locator('table.day-plans tr', { hasText: addedContent }).count(), 1);
    await page.goto(`${server.base}/schedule/deleted.asp`);
    await shot(page, 'recently-deleted');
    await inEnglish(`${server.base}/schedule/deleted.asp`, 'recently-deleted');
  });

  suite.test('an overlapping plan is saved with a warning, and copied to a range', async () => {
    const page = state.leader;
    const overlapping = `重叠测试${crypto.randomBytes(3).toString('hex')}`;
    await page.goto(url('manage.asp', { dt: dayText(freeDay) }));
    await page.fill('form.editor input[name=start]', `${isoDay(freeDay)}T10:00`);
    await page.fill('form.editor input[name=end]', `${isoDay(freeDay)}T12:00`);
    await page.selectOption('form.editor select[name=kind]', '1');
    const place = await page.locator('form.editor select[name=place] optgroup').first()
      .locator('option').first().getAttribute('value');
    await page.selectOption('form.editor select[name=place]', place);
    await page.fill('form.editor input[name=content]', overlapping);
    await Promise.all([page.waitForURL(/saved=/), page.click('form.editor button[type=submit]')]);
    assertIncludes(await page.locator('div.notice p.warning').textContent(), addedContent);
    assert.equal(await page.locator('tr.overlapping').count(), 2);
    await shot(page, 'day-editor-overlap');

    const row = page.locator('table.day-plans tr', { hasText: overlapping });
    await Promise.all([page.waitForURL(/copy=/), row.locator('a', { hasText: '复制' }).click()]);
    // The default: the week after the plan's day, Monday to Friday.
    await shot(page, 'day-editor-copy');
    await inEnglish(page.url(), 'day-editor-copy');
    await Promise.all([page.waitForURL(/copied=/), page.click('form.copy button[type=submit]')]);
    assert.match(await page.locator('div.notice').textContent(), /已复制到 [1-5] 天/);
    let next = addDays(freeDay, 1);
    while (next.getDay() === 0 || next.getDay() === 6 || isoDay(next) === isoDay(addDays(thisMonth, 19))) {
      next = addDays(next, 1);
    }
    await page.goto(url('manage.asp', { dt: dayText(next) }));
    assert.equal(await page.locator('table.day-plans tr', { hasText: overlapping }).count(), 1);
  });

  suite.test('the subscribe page shows an address that gives a valid feed', async () => {
    const page = state.leader;
    await page.goto(`${server.base}/subscribe`);
    const address = await page.locator('input.feed-url').first().inputValue();
    assert.match(address, /^http:\/\/.+\/feeds\/[A-Za-z0-9_-]{43}\/own\.ics$/);
    const webcal = await page.locator('a.webcal').first().getAttribute('href');
    assert.equal(webcal, address.replace(/^http:/, 'webcal:'));
    await shot(page, 'subscribe');
    // A calendar program fetches it without a session.
    const reply = await fetch(address);
    assert.equal(reply.status, 200);
    assert.match(reply.headers.get('content-type'), /^text\/calendar/);
    const file = path.join(server.dir, 'own.ics');
    fs.writeFileSync(file, Buffer.from(await reply.arrayBuffer()));
    const read = JSON.parse(run('/usr/bin/python3', [path.join(here, '..', 'python', 'ical_events.py'), file]));
    assert.ok(read.events.some((e) => e.summary === shared.planContent), 'the shared plan is an event');
    assert.ok(read.events.every((e) => e.transp === 'TRANSPARENT'));
  });

  suite.test('a download link on the leader month gives a CSV file', async () => {
    const page = state.leader;
    await page.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    const [download] = await Promise.all([
      page.waitForEvent('download'),
      page.locator('p.downloads a').first().click(),
    ]);
    assert.match(download.suggestedFilename(), /^leaderMonth-\d{4}-\d{2}\.csv$/);
    const text = fs.readFileSync(await download.path(), 'utf8');
    assert.ok(text.startsWith('\uFEFF姓名,'), text.slice(0, 40));
    assertIncludes(text, shared.planContent);
    assert.ok(!text.includes(addedContent), 'the private plan stays out');
  });

  suite.test('leader pages are closed to a colleague without a leading duty', async () => {
    const page = state.colleague;
    const response = await page.goto(url('leaderMonth.asp'));
    assert.equal(response.status(), 403);
    await shot(page, 'forbidden-leader');
  });

  // --- keyboard, screen readers, languages, layout ---------------------------

  const axeSource = fs.readFileSync(path.join(here, 'node_modules', 'axe-core', 'axe.min.js'),
    'utf8');
  // The WCAG 2.1 A and AA violations axe-core finds on the page, one line each.
  const axeViolations = async (page) => {
    // Evaluated by the browser's debugger, not as a script element of the
    // page, which the pages' Content-Security-Policy refuses.
    await page.evaluate(axeSource);
    const found = await page.evaluate(async () => {
      const result = await window.axe.run(document, {
        runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] },
      });
      return result.violations.map((v) => `${v.id}: ${v.nodes.length} × `
        + `${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
    });
    return found;
  };
  const LANGUAGES = [
    { locale: 'zh-CN', lang: 'zh-CN', code: 'zh' },
    { locale: 'en-GB', lang: 'en', code: 'en' },
  ];
  const signInAs = async (person, locale, viewport = { width: 1280, height: 860 }) => {
    const context = await browser.newContext({ locale, viewport });
    const page = await context.newPage();
    await page.goto(`${server.base}/login`);
    await page.fill('input[name=person]', String(person.id));
    await page.fill('input[name=password]', PASSWORD);
    await Promise.all([page.waitForURL(/personMonth\.asp/),
      page.click('div.signin button[type=submit]')]);
    return page;
  };

  suite.test('every page in both languages has no WCAG 2.1 A/AA violation', async () => {
    const problems = [];
    for (const { locale, lang, code } of LANGUAGES) {
      // The browser's language chooses the page's.
      const guest = await browser.newContext({ locale });
      const login = await guest.newPage();
      await login.goto(`${server.base}/login`);
      const visits = [['login', login]];
      const leader = await signInAs(LEADER, locale);
      const colleague = await signInAs(COLLEAGUE, locale);
      const pages = [
        ['person-month', leader, url('personMonth.asp', { dt: dayText(today) })],
        ['person-week', leader, url('personWeek.asp', { dt: dayText(today) })],
        ['person-month-colleague', colleague,
          url('personMonth.asp', { personID: LEADER.id, dt: dayText(today) })],
        ['day-editor', leader, url('manage.asp', { personID: LEADER.id, dt: dayText(freeDay) })],
        ['leader-month', leader, url('leaderMonth.asp', { dt: dayText(today) })],
        ['leader-week', leader, url('leaderWeek.asp', { dt: dayText(today) })],
        ['leader2-month', leader, url('leader2Month.asp', { dt: dayText(today) })],
        ['leader2-week', leader, url('leader2Week.asp', { dt: dayText(today) })],
        ['leader-months', leader, url('leaderMonths.asp', { dt: dayText(today), months: 3 })],
        ['leader-months-paged', leader,
          url('leaderMonths.asp', { dt: dayText(today), months: 3, size: 25, q: '海' })],
        ['away', colleague, url('away.asp', { dt: dayText(today) })],
        ['recently-deleted', leader, `${server.base}/schedule/deleted.asp`],
        ['subscribe', leader, `${server.base}/subscribe`],
        ['sign-out', leader, `${server.base}/logout`],
        ['not-found', leader, url('nosuch.asp')],
        ['bad-request', leader, url('personMonth.asp', { dt: 'tomorrow' })],
        ['forbidden', colleague, url('leaderMonth.asp')],
      ];
      for (const [name, page, address] of pages) {
        await page.goto(address);
        visits.push([name, page]);
        await shot(page, `${name}-${code}`);
        problems.push(...(await axeViolations(page)).map((v) => `${name} (${code}) ${v}`));
        assert.equal(await page.getAttribute('html', 'lang'), lang, name);
      }
      // The editor's messages after a wrong input.
      const editor = visits.find(([name]) => name === 'day-editor')[1];
      await editor.goto(url('manage.asp', { personID: LEADER.id, dt: dayText(freeDay) }));
      await editor.fill('form.editor input[name=end]', `${isoDay(freeDay)}T08:00`);
      await Promise.all([editor.waitForLoadState('load'),
        editor.click('form.editor button[type=submit]')]);
      await editor.locator('ul.error').waitFor();
      await shot(editor, `day-editor-error-${code}`);
      problems.push(...(await axeViolations(editor)).map((v) => `editor error (${code}) ${v}`));
      await shot(login, `login-${code}`);
      problems.push(...(await axeViolations(login)).map((v) => `login (${code}) ${v}`));
      for (const context of [guest, leader.context(), colleague.context()]) await context.close();
    }
    assert.deepEqual(problems, []);
  });

  suite.test('the language switch changes every page and is remembered', async () => {
    const page = await signInAs(LEADER, 'zh-CN');
    await page.goto(url('personWeek.asp', { dt: dayText(today) }));
    assert.equal(await page.getAttribute('html', 'lang'), 'zh-CN');
    await Promise.all([page.waitForURL(/personWeek\.asp/), page.click('p.lang-switch a')]);
    assert.equal(await page.getAttribute('html', 'lang'), 'en');
    assertIncludes(await page.locator('nav.site-nav').textContent(), 'Sign out');
    await page.goto(url('manage.asp', { personID: LEADER.id, dt: dayText(freeDay) }));
    assertIncludes(await page.locator('h2').first().textContent(), 'Plans of the day');
    await page.context().close();
  });

  suite.test('a keyboard alone signs in, opens a day and saves a plan', async () => {
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 1280, height: 860 } });
    const page = await context.newPage();
    const keyDay = addDays(freeDay, 1);
    const content = `键盘录入${crypto.randomBytes(3).toString('hex')}`;
    // Presses Tab until the focus is on what `wanted` accepts (bounded).
    const tabTo = async (wanted, what) => {
      for (let i = 0; i < 120; i += 1) {
        await page.keyboard.press('Tab');
        if (await page.evaluate(wanted, dayText(keyDay))) return;
      }
      throw new Error(`Tab never reached ${what}`);
    };
    await page.goto(url('personMonth.asp', { dt: dayText(keyDay) }));
    // The person field has the focus at once (on a loaded machine the
    // browser may take a moment to give it: typing before would be lost).
    await page.waitForFunction(() => document.activeElement && document.activeElement.name === 'person',
      null, { timeout: 10000 });
    await page.keyboard.type(String(LEADER.id));
    await page.keyboard.press('Tab');
    await page.keyboard.type(PASSWORD);
    await Promise.all([page.waitForURL((u) => u.pathname === '/schedule/personMonth.asp'),
      page.keyboard.press('Enter')]);
    // The first Tab reaches the skip link, which leads into the content.
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.className), 'skip');
    await tabTo((day) => document.activeElement.getAttribute('onclick') === `manage('${day}');`,
      'the day cell');
    await Promise.all([page.waitForURL(/manage\.asp/), page.keyboard.press('Enter')]);
    assert.equal(new URL(page.url()).searchParams.get('dt'), dayText(keyDay));
    await tabTo(() => document.activeElement.name === 'place', 'the place');
    await page.keyboard.press('ArrowDown');
    await tabTo(() => document.activeElement.name === 'content', 'the content');
    await page.keyboard.type(content);
    // A save returns to the day, which lists the plan under a notice.
    await Promise.all([page.waitForURL(/saved=/), page.keyboard.press('Enter')]);
    assertIncludes(await page.locator('table.day-plans').textContent(), content);
    await page.goto(url('personMonth.asp', { dt: dayText(keyDay) }));
    assertIncludes(await dayCell(page, keyDay).textContent(), content);
    await context.close();
  });

  suite.test('a 500-letter word leaves the month as wide as the window', async () => {
    const longDay = addDays(freeDay, 2);
    server.addPlan(LEADER.id, longDay, 'W'.repeat(500));
    const cookies = await state.leader.context().cookies();
    for (const width of [320, 390, 1280, 2560]) {
      const context = await browser.newContext({ locale: 'zh-CN', viewport: { width, height: 900 } });
      await context.addCookies(cookies);
      const page = await context.newPage();
      for (const address of [url('personMonth.asp', { dt: dayText(longDay) }),
        url('personWeek.asp', { dt: dayText(longDay) }),
        url('manage.asp', { personID: LEADER.id, dt: dayText(longDay) })]) {
        await page.goto(address);
        const shown = await page.evaluate(() => document.documentElement.scrollWidth);
        assert.ok(shown <= width, `${address} is ${shown} px wide in a ${width} px window`);
      }
      if (width === 320) await shot(page, 'day-editor-long-word-320');
      await context.close();
    }
  });

  suite.test('a month prints on one A4 landscape page', async () => {
    const context = await browser.newContext({ locale: 'zh-CN' });
    await context.addCookies(await state.leader.context().cookies());
    const page = await context.newPage();
    // This month holds the 500-letter word of the test before.
    for (const [name, day] of [['this', today], ['next', nextMonth]]) {
      await page.goto(url('personMonth.asp', { dt: dayText(day) }));
      const pdf = (await page.pdf({ preferCSSPageSize: true, printBackground: true }))
        .toString('latin1');
      const pages = (pdf.match(/\/Type\s*\/Page[^s]/g) || []).length;
      assert.equal(pages, 1, `${name} month prints on ${pages} pages`);
      const size = /\/MediaBox\s*\[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\]/.exec(pdf);
      assert.ok(size && Math.round(size[1]) === 842 && Math.round(size[2]) === 595,
        `page size ${size && size.slice(1)}`);
      await page.setViewportSize({ width: 1047, height: 718 });
      await page.emulateMedia({ media: 'print' });
      await shot(page, `person-month-print-${name}`);
      await page.emulateMedia({ media: null });
    }
    await context.close();
  });

  // --- administration ------------------------------------------------------

  const ADMIN_PATHS = ['/admin/', '/admin/persons', '/admin/persons/import', '/admin/departments',
    '/admin/duties', '/admin/places', '/admin/audit', '/admin/access', '/admin/webhooks'];
  const NEW_PASSWORD = 'Walk-through-Passwort-42';

  // The invitation link of a person, made on the person's access page by
  // the administrator's page.
  const inviteLink = async (admin, personId) => {
    await admin.goto(`${server.base}/admin/access?person=${personId}`);
    await Promise.all([admin.waitForLoadState('load'),
      admin.click('form.token-action:has(input[name=action][value=invite]) button')]);
    return admin.locator('input.invite-url').inputValue();
  };

  suite.test('an administrator adds a person who, invited, signs in, shows on the leader page and is retired', async () => {
    const admin = await signIn(LEADER);
    await admin.click('nav.site-nav a[href="/admin/"]');
    assert.equal(new URL(admin.url()).pathname, '/admin/');
    await admin.goto(`${server.base}/admin/persons?new=1`);
    const name = `浏览器新同事${crypto.randomBytes(2).toString('hex')}`;
    await admin.fill('form.person-form input[name=name]', name);
    await admin.selectOption('form.person-form select[name=department]', '1');
    const duties = await admin.locator('form.person-form select[name=duty] option').evaluateAll(
      (options) => options.map((o) => o.value).filter(Boolean));
    await admin.selectOption('form.person-form select[name=duty]', duties[duties.length - 1]);
    await Promise.all([admin.waitForURL(/done=added/), admin.click('form.person-form button')]);
    const personId = Number(new URL(admin.url()).searchParams.get('person'));
    assert.ok(personId > 0);
    await shot(admin, 'admin-person-added');
    await admin.click(`a[href="/admin/access?person=${personId}"]`);
    const link = await inviteLink(admin, personId);
    assert.match(link, /\/invite\?/);
    await shot(admin, 'admin-access-invitation');

    // The new person, in a browser of his or her own.
    const context = await browser.newContext({ locale: 'zh-CN', viewport: { width: 1280, height: 860 } });
    const newcomer = await context.newPage();
    await newcomer.goto(link);
    await shot(newcomer, 'invite');
    await newcomer.fill('input[name=password]', NEW_PASSWORD);
    await newcomer.fill('input[name=repeat]', NEW_PASSWORD);
    await Promise.all([newcomer.waitForURL(/done=1/), newcomer.click('div.invite button[type=submit]')]);
    await newcomer.goto(`${server.base}/login`);
    await newcomer.fill('input[name=person]', String(personId));
    await newcomer.fill('input[name=password]', NEW_PASSWORD);
    await Promise.all([newcomer.waitForURL(/personMonth\.asp/),
      newcomer.click('div.signin button[type=submit]')]);
    assertIncludes(await newcomer.locator('nav.site-nav').textContent(), name);
    await newcomer.goto(`${server.base}/subscribe`);
    const feed = await newcomer.locator('input.feed-url').first().inputValue();
    assert.equal((await newcomer.request.get(feed)).status(), 200);
    await admin.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    assertIncludes(await admin.locator('div.wide').textContent(), name);

    // Retired: the open session ends at its next request, the feed is gone.
    await admin.goto(`${server.base}/admin/persons?person=${personId}`);
    await Promise.all([admin.waitForURL(/done=/),
      admin.click('form.person-action:has(input[name=action][value=retire]) button')]);
    await shot(admin, 'admin-person-retired');
    await newcomer.goto(url('personMonth.asp'));
    assert.match(newcomer.url(), /\/login/);
    assert.equal((await newcomer.request.get(feed)).status(), 404);
    await admin.goto(url('leaderMonth.asp', { dt: dayText(today) }));
    assert.ok(!(await admin.locator('div.wide').textContent()).includes(name));
    await context.close();
    await admin.context().close();
  });

  suite.test('a colleague sees no administration link and every administration path is closed', async () => {
    const page = await signIn(COLLEAGUE);
    assert.equal(await page.locator('nav.site-nav a[href="/admin/"]').count(), 0);
    for (const address of ADMIN_PATHS) {
      const response = await page.goto(`${server.base}${address}`);
      assert.equal(response.status(), 403, address);
    }
    await shot(page, 'admin-forbidden');
    await page.context().close();
  });

  suite.test('every administration page, /account and /invite in both languages has no WCAG 2.1 A/AA violation', async () => {
    const problems = [];
    for (const { locale, lang, code } of LANGUAGES) {
      const admin = await signInAs(LEADER, locale);
      const visits = [
        ['admin', '/admin/'],
        ['admin-persons', '/admin/persons'],
        ['admin-person-new', '/admin/persons?new=1'],
        ['admin-person-edit', `/admin/persons?person=${COLLEAGUE.id}`],
        ['admin-person-import', '/admin/persons/import'],
        ['admin-departments', '/admin/departments'],
        ['admin-duties', '/admin/duties'],
        ['admin-places', '/admin/places'],
        ['admin-audit', '/admin/audit'],
        ['admin-access', `/admin/access?person=${COLLEAGUE.id}`],
        ['account', '/account'],
      ];
      for (const [name, address] of visits) {
        const response = await admin.goto(`${server.base}${address}`);
        assert.equal(response.status(), 200, address);
        await shot(admin, `${name}-${code}`);
        problems.push(...(await axeViolations(admin)).map((v) => `${name} (${code}) ${v}`));
        assert.equal(await admin.getAttribute('html', 'lang'), lang, name);
      }
      // An invitation of a demo person without a sign-in of this walk.
      const link = await inviteLink(admin, 7);
      const guest = await browser.newContext({ locale });
      const invite = await guest.newPage();
      await invite.goto(link);
      await shot(invite, `invite-${code}`);
      problems.push(...(await axeViolations(invite)).map((v) => `invite (${code}) ${v}`));
      await guest.close();
      await admin.context().close();
    }
    assert.deepEqual(problems, []);
  });

  defineSecondFactorTests(suite, { server, browser, options, url, shot });
  defineNotifyAdminTests(suite, { server, shot, axeViolations, signInAs, languages: LANGUAGES });

  suite.test('signing out ends the session', async () => {
    const page = state.colleague;
    await page.goto(url('personWeek.asp'));
    await Promise.all([page.waitForURL(/\/login/), page.click('nav.site-nav form.signout button')]);
    await page.goto(url('personMonth.asp'));
    assert.match(page.url(), /\/login/);
  });

  suite.test('no page broke its Content-Security-Policy', async () => {
    assert.deepEqual(violations, []);
  });
}

// --- receivers of webhooks; mail addresses and choices -----------------------

function defineNotifyAdminTests(suite, { server, shot, axeViolations, signInAs, languages }) {
  suite.test('an administrator adds a webhook receiver, sees its secret once and edits it; a leader sets a mail address and choices', async () => {
    const problems = [];
    const check = async (page, name, code) => {
      await shot(page, `${name}-${code}`);
      problems.push(...(await axeViolations(page)).map((v) => `${name} (${code}) ${v}`));
    };
    for (const { locale, code } of languages) {
      const admin = await signInAs(LEADER, locale);
      const receiverName = `浏览器接收方-${code}-${crypto.randomBytes(2).toString('hex')}`;
      await admin.goto(`${server.base}/admin/webhooks?new=1`);
      await check(admin, 'admin-webhook-new', code);
      await admin.fill('form.webhook-form input[name=name]', receiverName);
      await admin.fill('form.webhook-form input[name=url]',
        `http://127.0.0.1:9/${code}/${crypto.randomBytes(3).toString('hex')}`);
      await admin.check('form.webhook-form input[name=kind][value="plan.added"]');
      await admin.check('form.webhook-form input[name=kind][value="away.today"]');
      await admin.selectOption('form.webhook-form select[name=format]', 'chat');
      await admin.selectOption('form.webhook-form select[name=away_hour]', '8');
      await Promise.all([admin.waitForLoadState('load'), admin.click('form.webhook-form button[type=submit]')]);
      const secret = await admin.locator('input.webhook-secret-value').inputValue();
      assert.match(secret, /^whsec_[A-Za-z0-9+/]+=*$/);
      await check(admin, 'admin-webhook-secret', code);
      const receiver = await admin.locator('form.webhook-form input[name=receiver]').inputValue();

      // Shown once: the receiver's own page no longer holds it.
      await admin.goto(`${server.base}/admin/webhooks?receiver=${receiver}`);
      assert.equal(await admin.locator('input.webhook-secret-value').count(), 0);
      assert.ok(!(await admin.content()).includes(secret));
      await admin.fill('form.webhook-form input[name=name]', `${receiverName}-改`);
      await admin.uncheck('form.webhook-form input[name=kind][value="plan.added"]');
      await admin.check('form.webhook-form input[name=kind][value="plan.changed"]');
      await Promise.all([admin.waitForURL(/done=saved/), admin.click('form.webhook-form button[type=submit]')]);
      assert.equal(await admin.locator('p.notice').count(), 1);
      assert.ok(await admin.locator('input[name=kind][value="plan.changed"]').isChecked());
      assert.ok(!(await admin.locator('input[name=kind][value="plan.added"]').isChecked()));
      await check(admin, 'admin-webhook-edit', code);
      await admin.goto(`${server.base}/admin/webhooks`);
      assert.ok((await admin.locator('table.webhooks').textContent()).includes(`${receiverName}-改`));
      await check(admin, 'admin-webhooks', code);
      await admin.goto(`${server.base}/admin/webhooks?receiver=${receiver}&remove=1`);
      await check(admin, 'admin-webhook-remove', code);

      // The leader's own mail settings.
      await admin.goto(`${server.base}/account`);
      // Past the browser's own check of the field, the server's answers.
      await admin.$eval('form.mail-form', (form) => { form.noValidate = true; });
      await admin.fill('form.mail-form input[name=mail_address]', 'not an address');
      await Promise.all([admin.waitForLoadState('load'), admin.click('form.mail-form button[type=submit]')]);
      assert.equal(await admin.locator('section.mail p.error').count(), 1);
      await check(admin, 'account-mail-refused', code);
      await admin.fill('form.mail-form input[name=mail_address]', `leader-${code}@example.org`);
      await admin.selectOption('form.mail-form select[name=mail_language]', code);
      await admin.check('form.mail-form input[value=changes]');
      await admin.check('form.mail-form input[value=weekly]');
      await Promise.all([admin.waitForURL(/done=mail/), admin.click('form.mail-form button[type=submit]')]);
      assert.equal(await admin.locator('form.mail-form input[name=mail_address]').inputValue(),
        `leader-${code}@example.org`);
      assert.ok(await admin.locator('form.mail-form input[value=weekly]').isChecked());
      assert.ok(!(await admin.locator('form.mail-form input[value=away]').isChecked()));
      await check(admin, 'account-mail', code);
      await admin.context().close();
    }
    assert.deepEqual(problems, []);
  });
}

// --- company sign-in: OpenID Connect -----------------------------------------

// The test provider (tests/oidc/provider.mjs) for a site at `site`: its
// issuer address, once it printed it, and a stop that ends it. Null when it
// cannot start (no npm packages to be had), which skips its tests.
async function startProvider(dir, site) {
  const script = path.join(here, '..', 'oidc', 'provider.mjs');
  const child = spawn(process.execPath, [script, '--dir', dir, '--site', site,
    '--secret', 'browser-test-client-secret'], { stdio: ['pipe', 'pipe', 'pipe'] });
  const log = [];
  child.stderr.on('data', (chunk) => log.push(chunk.toString()));
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const stop = async () => {
    if (child.exitCode === null && child.signalCode === null) {
      child.kill('SIGTERM');
      const timeout = new Promise((resolve) => setTimeout(() => resolve('timeout'), 5000));
      if (await Promise.race([exited, timeout]) === 'timeout') child.kill('SIGKILL');
    }
  };
  process.on('exit', () => { if (child.exitCode === null) child.kill('SIGKILL'); });
  const issuer = await new Promise((resolve) => {
    let seen = '';
    const timer = setTimeout(() => resolve(null), 120000);
    child.stdout.on('data', (chunk) => {
      seen += chunk.toString();
      const line = seen.split('\n')[0];
      if (seen.includes('\n')) {
        clearTimeout(timer);
        try { resolve(JSON.parse(line)); } catch { resolve(null); }
      }
    });
    exited.then(() => { clearTimeout(timer); resolve(null); });
  });
  if (!issuer) {
    await stop();
    console.log(`the OpenID provider did not start: ${log.join('').slice(-500)}`);
    return null;
  }
  return { ...issuer, stop };
}

function defineOidcTests(suite, { server, browser, options }) {
  suite.test('a sign-in through the provider\'s own page comes back signed in, and signs out there too', async () => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrand-oidc-browser-'));
    const port = await new Promise((resolve) => {
      const probe = net.createServer().listen(0, '127.0.0.1', () => {
        const { port: free } = probe.address();
        probe.close(() => resolve(free));
      });
    });
    const site = `http://127.0.0.1:${port}`;
    let provider = null;
    let serve = null;
    let context = null;
    try {
      provider = await startProvider(path.join(dir, 'provider'), site);
      if (!provider) {
        console.log('  skipped: the OpenID provider cannot start here');
        return;
      }
      const clientSecret = path.join(dir, 'client-secret');
      fs.writeFileSync(clientSecret, 'browser-test-client-secret\n', { mode: 0o600 });
      const secret = path.join(dir, 'secret');
      fs.writeFileSync(secret, crypto.randomBytes(32).toString('hex'), { mode: 0o600 });
      serve = spawn(options.binary, ['serve', '--db', `sqlite:${server.db}`, '--host', '127.0.0.1',
        '--port', String(port), '--secret-file', secret, '--today', isoDay(TODAY),
        '--oidc-issuer', provider.issuer, '--oidc-client-id', 'ostrand',
        '--oidc-client-secret-file', clientSecret, '--oidc-name', 'Test provider',
        '--ca-file', provider.ca], { stdio: ['ignore', 'pipe', 'pipe'] });
      await new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error('no address from ostrand serve')), 20000);
        serve.stdout.on('data', (chunk) => {
          if (/listening on/.test(chunk.toString())) {
            clearTimeout(timer);
            resolve();
          }
        });
        serve.on('exit', (code) => reject(new Error(`ostrand serve exited with ${code}`)));
      });
      // Chromium does not know the throwaway authority; the site checks the
      // provider's certificate against it (--ca-file).
      context = await browser.newContext({ locale: 'en-GB', ignoreHTTPSErrors: true,
        viewport: { width: 1280, height: 860 } });
      const blocked = [];
      context.on('page', (p) => p.on('console', (message) => {
        if (/Content Security Policy/i.test(message.text())) blocked.push(message.text());
      }));
      const page = await context.newPage();
      await page.goto(`${site}/schedule/personWeek.asp`);
      assert.match(page.url(), /\/login/);
      await shotOidc(page, options, 'oidc-signin-page');
      await Promise.all([page.waitForURL(`${provider.issuer}/**`),
        page.click('p.provider-signin a')]);
      // The colleague: an administrator is never matched by a claim.
      await page.fill('input[name=login]', 'colleague');
      await page.fill('input[name=password]', 'any password');
      await shotOidc(page, options, 'oidc-provider-page');
      const started = Date.now();
      await Promise.all([page.waitForURL(`${site}/schedule/personWeek.asp`),
        page.click('button[type=submit]')]);
      console.log(`  back from the provider, signed in, in ${Date.now() - started} ms`);
      assert.equal(await page.locator('nav.site-nav form.signout').count(), 1);

      // Signing out here goes on to the provider's sign-out, and back.
      await Promise.all([page.waitForURL(`${provider.issuer}/session/end**`),
        page.click('nav.site-nav form.signout button')]);
      await shotOidc(page, options, 'oidc-provider-signout');
      await Promise.all([page.waitForURL(`${site}/login`),
        page.click('button[name=logout][value=yes]')]);
      await page.goto(`${site}/schedule/personWeek.asp`);
      assert.match(page.url(), /\/login/, 'the session ended here');
      // The provider's session ended too: it asks for the sign-in again.
      await Promise.all([page.waitForURL(`${provider.issuer}/**`),
        page.click('p.provider-signin a')]);
      assert.equal(await page.locator('input[name=login]').count(), 1,
        'the provider asks for a sign-in again');
      assert.deepEqual(blocked, []);
    } finally {
      if (context) await context.close().catch(() => {});
      if (serve && serve.exitCode === null) {
        serve.kill('SIGTERM');
        await new Promise((resolve) => {
          const timer = setTimeout(() => { serve.kill('SIGKILL'); resolve(); }, 10000);
          serve.on('exit', () => { clearTimeout(timer); resolve(); });
        });
      }
      if (provider) await provider.stop();
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
}

async function shotOidc(page, options, name) {
  await page.screenshot({ path: path.join(options.screenshots, `${name}.png`), fullPage: true });
}

main().then((code) => process.exit(code), (error) => {
  console.error(error.stack || error);
  console.log('0 passed, 1 failed');
  process.exit(1);
});
