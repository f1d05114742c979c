// The sample mails in Chromium: the test program writes a mail of each kind
// (changes, weekly, away, invitation, reset) in both languages
// (WebMailSite.SampleMailsOfEveryKindInBothLanguages with
// OSTRAND_MAIL_SAMPLES set), and each HTML part is rendered as a mail
// program would show it, scripts off, into SCREENSHOTS/mail-KIND-LANG.png.
// run.mjs runs it among its tests; alone:
//
//   node mail_samples.mjs --binary BUILD/apps/ostrand/ostrand --screenshots DIR
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const KINDS = ['changes', 'weekly', 'away', 'invitation', 'reset'];
const LANGUAGES = ['zh', 'en'];

// The test program beside the built ostrand (BUILD/apps/ostrand/ostrand).
function testProgram(binary) {
  return path.join(path.dirname(path.dirname(path.dirname(binary))), 'tests', 'ostrand_tests');
}

export function defineMailSampleTests(suite, { browser, options }) {
  suite.test('sample mails of every kind in both languages, rendered', async () => {
    const program = testProgram(options.binary);
    assert.ok(fs.existsSync(program), `the test program ${program} is built`);
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ostrand-mails-'));
    let context;
    try {
      const made = spawnSync(program, ['--gtest_filter=WebMailSite.SampleMailsOfEveryKindInBothLanguages'],
        { env: { ...process.env, OSTRAND_MAIL_SAMPLES: dir }, encoding: 'utf8', timeout: 120000 });
      assert.equal(made.status, 0, `the samples were written: ${made.stdout}${made.stderr}`);
      // Mail programs run no script and load nothing from elsewhere.
      context = await browser.newContext({ javaScriptEnabled: false, viewport: { width: 800, height: 600 } });
      await context.route('**/*', (route) => route.abort());
      const page = await context.newPage();
      for (const language of LANGUAGES) {
        for (const kind of KINDS) {
          const html = fs.readFileSync(path.join(dir, `mail-${kind}-${language}.html`), 'utf8');
          await page.setContent(html, { waitUntil: 'load' });
          assert.equal(await page.locator('h1').count(), 1, `${kind} ${language} has its heading`);
          if (kind === 'weekly') {
            assert.equal(await page.locator('table tr').count(), 4, 'a heading row and three persons');
          }
          const unsubscribe = await page.locator('a[href*="/mail/unsubscribe?t="]').count();
          assert.equal(unsubscribe, ['invitation', 'reset'].includes(kind) ? 0 : 1,
            `${kind} ${language}: the unsubscribe link where a choice is`);
          await page.screenshot({ path: path.join(options.screenshots, `mail-${kind}-${language}.png`),
            fullPage: true });
        }
      }
    } finally {
      if (context) await context.close().catch(() => {});
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
}

// Alone: the one test above.
if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const options = { screenshots: path.resolve('screenshots'), chromium: process.env.CHROMIUM || '/usr/bin/chromium' };
  for (let i = 2; i < process.argv.length; i += 2) {
    if (process.argv[i] === '--binary') options.binary = path.resolve(process.argv[i + 1]);
    if (process.argv[i] === '--screenshots') options.screenshots = path.resolve(process.argv[i + 1]);
  }
  fs.mkdirSync(options.screenshots, { recursive: true });
  const { chromium } = await import('playwright-core');
  const browser = await chromium.launch({ executablePath: options.chromium, headless: true, args: ['--disable-gpu'] });
  const tests = [];
  defineMailSampleTests({ test: (name, body) => tests.push({ name, body }) }, { browser, options });
  let failed = 0;
  for (const { name, body } of tests) {
    try {
      await body();
      console.log(`ok - ${name}`);
    } catch (error) {
      failed += 1;
      console.log(`not ok - ${name}\n  ${error.stack || error}`);
    }
  }
  await browser.close();
  process.exit(failed === 0 ? 0 : 1);
}
