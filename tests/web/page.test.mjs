// The page in a real browser, Debian's Chromium, as a visitor uses it: typing, reading the JSON
// and the findings, following a finding with the mouse and the keyboard, a malformed text, a
// shared link, the switch to JSON to kessa, offline use, labels and contrast; the editor's
// colours, the findings underlined with their messages on hover, thousands of findings listed,
// and the page served unbuilt. Each expectation comes from the native tool.
//
//   PAGE_DIR=build/wasm/web KESSA2JSON=build/default/kessa2json [SCREENSHOT=out.png] node --test
//
// Skipped, saying why, where Chromium, Playwright or the built page is missing.

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, test } from 'node:test';
import { CHROMIUM, CHROMIUM_FLAGS, serve } from './serve.mjs';

const pageDir = process.env.PAGE_DIR;
const tool = process.env.KESSA2JSON;
let playwright = null;
try {
  playwright = await import('playwright-core');
} catch {
  // reported as the reason to skip
}
const skip = !playwright ? 'playwright-core is not installed (npm ci in tests/web)'
  : !existsSync(CHROMIUM) ? `no Chromium at ${CHROMIUM}`
  : !pageDir || !existsSync(join(pageDir, 'index.html')) ? 'PAGE_DIR names no built page'
  : !tool || !existsSync(tool) ? 'KESSA2JSON names no native tool'
  : false;

let server, context, profile;

before(async () => {
  if (skip) return;
  server = await serve(pageDir);
  profile = mkdtempSync(join(tmpdir(), 'kessa-page-'));
  context = await playwright.chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: CHROMIUM_FLAGS,
    viewport: { width: 1280, height: 860 },
  });
  // A bound for a page that never answers, far past what a busy machine needs; not a wait.
  context.setDefaultTimeout(180_000);
});

after(async () => {
  await context?.close();
  await server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

/** What the native tool writes for `text`, and its findings as its JSON report gives them. */
function native(text) {
  const dir = mkdtempSync(join(tmpdir(), 'kessa-native-'));
  try {
    const input = join(dir, 'in.kessa');
    writeFileSync(input, text);
    let report;
    try {
      report = execFileSync(tool, ['--check', '--format', 'json', input],
        { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
    } catch (failure) {
      report = failure.stdout; // status 3: findings; 2: malformed
    }
    const findings = JSON.parse(report).files[0].findings;
    let json = null;
    try {
      execFileSync(tool, [input, join(dir, 'out.json')], { stdio: 'ignore' });
      json = readFileSync(join(dir, 'out.json'), 'utf8');
    } catch {
      // malformed
    }
    return { json, findings };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

async function openPage(fragment = '') {
  const page = await context.newPage();
  await page.goto(server.url + fragment);
  return page;
}

/** Waits until the page shows the answer for the text now in the editor. */
async function settled(page) {
  await page.waitForFunction(() => !document.getElementById('json').hasAttribute('aria-busy') &&
    /^(Converted|Malformed)/.test(document.getElementById('status').textContent));
}

const shownJson = (page) => page.locator('#json .lines').textContent();

// The editor lays out only the lines in view: its text and selection come from the editor itself.
const editorText = (page) => page.$eval('#kessa', (host) => host.editorView.state.doc.toString());
const selection = (page) => page.$eval('#kessa', (host) => {
  const { state } = host.editorView;
  const { from, to } = state.selection.main;
  return { from, to, text: state.sliceDoc(from, to) };
});
/** Puts `text` in the editor at once, as a paste does. */
const paste = (page, text) => page.$eval('#kessa', (host, value) => {
  host.editorView.dispatch({ changes: { from: 0, to: host.editorView.state.doc.length, insert: value } });
}, text);

/** The findings the page lists, in the fields of the tool's report that it shows. */
function listed(page) {
  return page.$$eval('#findings button', (buttons) => buttons.map((button) => ({
    where: button.querySelector('.where').textContent,
    severity: button.querySelector('.severity').textContent,
    message: button.querySelector('.message').textContent,
    code: button.querySelector('code').textContent,
  })));
}

function expectedListing(findings) {
  return findings.map((f) => ({ where: `${f.line}:${f.column}`, severity: f.severity, message: f.message, code: f.code }));
}

test('typing shows the JSON and the findings the tool gives, and a finding selects its place', { skip }, async () => {
  const page = await openPage();
  const editor = page.getByRole('textbox', { name: 'Kessa text' });
  await editor.fill('');
  const text = 'name=demo\nport=08080\nbox={w=1.50\nh=2\n}\nlist={😀,007}\n';
  await editor.pressSequentially(text);
  const expected = native(text);
  await page.waitForFunction((json) => document.querySelector('#json .lines').textContent === json, expected.json);
  await settled(page);
  assert.deepEqual(await listed(page), expectedListing(expected.findings));
  assert.match(await page.locator('#status').textContent(), /^Converted\. 3 findings\.$/);

  // The last finding follows a character outside the BMP on its line: columns count characters.
  const last = expected.findings.at(-1);
  await page.getByRole('button', { name: new RegExp(`^Line ${last.line}, column ${last.column},`) }).click();
  assert.equal((await selection(page)).text, '007');
  assert.ok(await page.evaluate(() => document.activeElement.closest('#kessa') !== null));

  // The keyboard reaches a finding and chooses it as the mouse does.
  const first = page.locator('#findings button').first();
  await first.focus();
  await page.keyboard.press('Enter');
  assert.equal((await selection(page)).text, '08080');
  await page.close();
});

test('a malformed text shows its fault and its line', { skip }, async () => {
  const page = await openPage();
  const editor = page.getByLabel('Kessa text');
  await editor.fill('a=1\nb={x=2\n');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Malformed'));
  const expected = native('a=1\nb={x=2\n');
  assert.equal(expected.json, null);
  const fault = expected.findings.at(-1);
  assert.equal(fault.code, 'malformed');
  assert.equal(await page.locator('#status').textContent(),
    `Malformed at line ${fault.line}, column ${fault.column}: ${fault.message}.`);
  assert.equal(await page.locator('#json .lines').textContent(), 'No JSON: the text is malformed.');
  assert.deepEqual(await listed(page), expectedListing(expected.findings));
  await page.getByRole('button', { name: /malformed/ }).click();
  const { from, to } = await selection(page);
  assert.deepEqual([from, to], [6, 7]);
  await page.close();
});

test('a link holds the text, and opening it shows the same text and JSON', { skip }, async () => {
  const page = await openPage();
  const text = 'shared=yes\nwords={"a b", c}\nnote=100%\n';
  await page.getByLabel('Kessa text').fill(text);
  await settled(page);
  await page.getByRole('link', { name: 'Link to this text' }).click();
  await page.waitForFunction(() => location.hash.startsWith('#text='));
  const address = page.url();
  await page.close();

  const opened = await context.newPage();
  await opened.goto(address);
  const expected = native(text);
  await opened.waitForFunction((json) => document.querySelector('#json .lines').textContent === json, expected.json);
  assert.equal(await editorText(opened), text);

  // A new fragment on the open page replaces the text.
  await opened.evaluate(() => { location.hash = '#text=' + encodeURIComponent('x=0x10\n'); });
  await opened.waitForFunction(() => document.querySelector('#json .lines').textContent === '{\n    "x": 16.0\n}');
  await opened.close();
});

test('a long JSON lays out the lines in view as one scrolls, and is copied whole', { skip }, async () => {
  await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: server.url });
  const page = await openPage();
  const text = Array.from({ length: 1000 }, (_, i) => `k${i}=${i}\n`).join('');
  await paste(page, text);
  await settled(page);
  const expected = native(text).json.toString();
  const top = await shownJson(page);
  assert.ok(top.startsWith('{\n    "k0": 0,\n') && top.length < expected.length / 10, top.length);
  await page.locator('#json').evaluate((view) => { view.scrollTop = view.scrollHeight; });
  await page.waitForFunction(() => document.querySelector('#json .lines').textContent.endsWith('"k999": 999\n}'));
  await page.getByRole('button', { name: 'Copy the JSON' }).click();
  await page.waitForFunction(() => document.getElementById('status').textContent === 'The JSON is copied.');
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), expected);
  await page.close();
});

/** The coloured tokens of each line the editor lays out: [text, class] for each. */
const tokens = (page) => page.$$eval('#kessa .cm-line', (lines) => lines.map((line) => [...line.querySelectorAll('span')]
  .flatMap((span) => span.className.split(' ').filter((name) => name.startsWith('tok-')).map((name) => [span.textContent, name]))));

test('the text is coloured as kessa: keys, numbers, other text, quoted values, punctuation', { skip }, async () => {
  const page = await openPage();
  const key = (text) => [text, 'tok-propertyName'];
  const number = (text) => [text, 'tok-number'];
  const string = (text) => [text, 'tok-string'];
  const equals = ['=', 'tok-operator'];
  const mark = (text) => [text, 'tok-punctuation'];
  const rows = [
    ['name=demo', [key('name'), equals, string('demo')]],
    ['port= 08080 ,x=-1.5e3', [key('port'), equals, number('08080'), mark(','), key('x'), equals, number('-1.5e3')]],
    ['box={w=0x1.8p1}', [key('box'), equals, mark('{'), key('w'), equals, number('0x1.8p1'), mark('}')]],
    // Quoting keeps text, not a numeral; a double quote after blanks is plain text.
    ['q="007"', [key('q'), equals, string('"'), number('007'), string('"')]],
    ['s="a,b"', [key('s'), equals, string('"a,b"')]],
    ['t= "a,b"', [key('t'), equals, string('"a'), mark(','), string('b"')]],
    ['v=12 apples', [key('v'), equals, string('12 apples')]],
    ['  k  =  v  ', [key('k'), equals, string('v')]],
    // A quoted value goes on over the line break, up to the next double quote.
    ['m="x', [key('m'), equals, string('"x')]],
    ['y=1"', [string('y=1"')]],
    ['}', [['}', 'tok-invalid']]],
  ];
  await paste(page, rows.map(([line]) => line).join('\n'));
  await settled(page);
  assert.deepEqual(await tokens(page), rows.map(([, expected]) => expected));
  // JSON on the left is not coloured as kessa.
  await page.getByRole('radio', { name: 'JSON to kessa' }).check();
  await paste(page, '{"a": 1}');
  await settledJson(page);
  assert.deepEqual(await tokens(page), [[]]);
  await page.close();
});

test('each finding is underlined in place, its message shown on hover', { skip }, async () => {
  const page = await openPage();
  for (const text of [
    'port=08080\nv=1.50\n',
    // Before the findings, characters of two, four and three bytes, and a lone surrogate (which
    // the text's UTF-8 holds as U+FFFD): the findings' byte offsets are not the editor's places.
    'note=é😀\nport=08080\nlist={😀,007}\nk=日本\nv=1.50\n',
    'a=\uD800\nb=007\n',
    // The fault of a malformed text, an error.
    'a=1\nb={x=2\n',
  ]) {
    await paste(page, text);
    await settled(page);
    const { findings } = native(text);
    const underlined = await page.$$eval('#kessa .cm-line', (lines) => lines.map((line) => {
      const marks = [...line.querySelectorAll('.cm-lintRange')];
      return { text: marks.map((mark) => mark.textContent).join(''), classes: marks.map((mark) => mark.className) };
    }));
    const bytes = Buffer.from(text.replace('\uD800', '\uFFFD'));
    const severities = { error: 'error', warning: 'warning', note: 'info' };
    for (const finding of findings) {
      const line = underlined[finding.line - 1];
      const expected = bytes.subarray(finding.offset, finding.offset + finding.length).toString();
      assert.equal(line.text, expected, `${JSON.stringify(text)}: ${finding.code}`);
      assert.ok(line.classes.every((name) => name.includes(`cm-lintRange-${severities[finding.severity]}`)), line.classes);
    }
    // Hovered, the last one (after the characters of many bytes) shows its message.
    const last = findings.at(-1);
    await page.locator('#kessa .cm-line').nth(last.line - 1).locator('.cm-lintRange').first().hover();
    await page.locator('#kessa .cm-tooltip-lint').getByText(last.message).waitFor();
    await page.mouse.move(0, 0);
    await page.locator('#kessa .cm-tooltip-lint').waitFor({ state: 'detached' });
    assert.equal(underlined.filter((line) => line.text).length, findings.length, JSON.stringify(text));
  }
  await page.close();
});

test('an answer to an older text shows its findings where they are now, until the newest answer', { skip }, async () => {
  const page = await openPage();
  await paste(page, 'a=1\nport=08080\n');
  await settled(page);
  // A second edit before the worker's answer to the first: that answer is shown first, its
  // places carried over the second edit, and then the answer to the text as it is.
  const shown = await page.$eval('#kessa', async (host) => {
    const view = host.editorView;
    const json = document.getElementById('json');
    const seen = [];
    new MutationObserver(() => seen.push({
      busy: json.hasAttribute('aria-busy'),
      underlined: [...host.querySelectorAll('.cm-lintRange')].map((mark) => mark.textContent),
    })).observe(document.getElementById('status'), { childList: true, characterData: true, subtree: true });
    view.dispatch({ changes: { from: 4, insert: 'x=007\n' } });
    await Promise.resolve(); // the first edit goes to the worker
    view.dispatch({ changes: { from: 0, insert: 'y=0x1F\n' } });
    await new Promise((resolve) => {
      const wait = () => (json.hasAttribute('aria-busy') ? setTimeout(wait, 10) : resolve());
      wait();
    });
    return seen;
  });
  assert.deepEqual(shown, [{ busy: true, underlined: ['007', '08080'] }, { busy: false, underlined: ['0x1F', '007', '08080'] }]);
  await page.locator('#findings button').nth(1).click();
  assert.equal((await selection(page)).text, '007');
  await page.close();
});

test('thousands of findings are all listed, only those in view laid out, and the keyboard moves through them', { skip }, async () => {
  const page = await openPage();
  const count = 2000;
  await paste(page, Array.from({ length: count }, (_, i) => `k${i + 1}=0${i + 1}\n`).join(''));
  await settled(page);
  assert.equal(await page.locator('#status').textContent(), `Converted. ${count} findings.`);
  const laidOut = () => page.locator('#findings li').count();
  assert.ok(await laidOut() < 100, `${await laidOut()} rows laid out`);
  const row = (line) => page.getByRole('button', { name: new RegExp(`^Line ${line}, column \\d+,`) });

  // Scrolled to its end, the list shows the last finding, which selects its place.
  await page.locator('#findings-view').evaluate((view) => { view.scrollTop = view.scrollHeight; });
  await row(count).click();
  assert.equal((await selection(page)).text, `0${count}`);
  assert.ok(await laidOut() < 100, `${await laidOut()} rows laid out`);
  assert.equal(await row(1).count(), 0, 'the rows scrolled out of view are taken away');

  // One Tab stop: the row last chosen; the keys move from it, Enter chooses.
  const focused = () => page.evaluate(() => {
    const button = document.activeElement.closest('#findings button');
    return button && Number(button.getAttribute('aria-label').match(/^Line (\d+),/)[1]);
  });
  await page.getByRole('button', { name: 'Copy the JSON' }).focus();
  await page.keyboard.press('Tab');
  assert.equal(await focused(), count);
  const pageRows = await page.locator('#findings-view').evaluate((view) =>
    Math.floor(view.clientHeight / view.querySelector('li').getBoundingClientRect().height) - 1);
  for (const [key, line] of [['ArrowUp', count - 1], ['Home', 1], ['ArrowDown', 2], ['PageDown', 2 + pageRows],
    ['PageUp', 2], ['End', count], ['ArrowDown', count], ['Home', 1], ['ArrowUp', 1]]) {
    await page.keyboard.press(key);
    assert.equal(await focused(), line, key);
  }
  await page.keyboard.press('End');
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('Enter');
  assert.equal((await selection(page)).text, `0${count - 1}`);
  assert.ok(await page.evaluate(() => document.activeElement.closest('#kessa') !== null));
  await page.getByRole('button', { name: 'Copy the JSON' }).focus();
  await page.keyboard.press('Tab');
  assert.equal(await focused(), count - 1);
  await page.keyboard.press('Tab');
  assert.equal(await focused(), null);
  assert.ok(await laidOut() < 100, `${await laidOut()} rows laid out`);
  await page.close();
});

test('the page says plainly that it needs building when served unbuilt, and shows its version built', { skip }, async () => {
  const sources = fileURLToPath(new URL('../../web/', import.meta.url));
  const unbuilt = await serve(sources);
  try {
    for (const [url, built] of [[unbuilt.url, false], [server.url, true]]) {
      const page = await context.newPage();
      await page.goto(url);
      if (built) await settled(page);
      const shown = await page.locator('body').innerText();
      assert.doesNotMatch(shown, /@VERSION@|this browser/);
      assert.equal(/needs building first/.test(shown), !built, shown);
      assert.equal(/cmake --workflow --preset wasm/.test(shown), !built, shown);
      assert.equal(/kessa2json \d+\.\d+\.\d+: the converter's own reader/.test(shown), built, shown);
      assert.equal(await page.getByRole('textbox', { name: 'Kessa text' }).count(), built ? 1 : 0);
      await page.close();
    }
  } finally {
    await unbuilt.close();
  }
});

/** Waits until the page shows the answer for the JSON text now in the editor. */
async function settledJson(page) {
  await page.waitForFunction(() => !document.getElementById('json').hasAttribute('aria-busy') &&
    /^(Converted|Malformed JSON|Not converted)/.test(document.getElementById('status').textContent));
}

test('the switch converts JSON typed on the left to kessa, which the tool converts back to it', { skip }, async () => {
  const page = await openPage();
  await settled(page);
  // Switched, the page goes on from the JSON it showed: its kessa is the text it came from.
  const sample = await editorText(page);
  await page.getByRole('radio', { name: 'JSON to kessa' }).check();
  const editor = page.getByRole('textbox', { name: 'JSON text' });
  assert.equal(await editorText(page), native(sample).json);
  await settledJson(page);
  assert.equal(await page.locator('#status').textContent(), 'Converted. No findings.');
  assert.equal(native(await shownJson(page)).json, native(sample).json);

  const json = '{"name": "demo", "box": {"w": 10, "tags": ["red", "dark blue", 1.5]}, "big": 1e400}';
  await editor.fill(json);
  await settledJson(page);
  const kessa = await shownJson(page);
  assert.equal(kessa, 'name=demo\nbox={\n    w=10\n    tags={red,dark blue,1.5}\n}\nbig=1e999\n');
  assert.deepEqual(JSON.parse(native(kessa).json), { ...JSON.parse(json), big: Infinity });
  assert.equal(await page.locator('#status').textContent(), 'Converted. No findings.');
  assert.equal(await page.getByRole('textbox', { name: 'Kessa text' }).count(), 1);

  // Each value no kessa text gives, with its pointer and place; choosing one selects it.
  await editor.fill('{"db": {"port": "007", "debug": true},\n "ok": [1, null]}');
  await settledJson(page);
  assert.equal(await page.locator('#status').textContent(), 'Not converted: 3 values have no kessa text.');
  assert.deepEqual((await listed(page)).map(({ where, code, message }) => [where, code, message.split(':')[0]]),
    [['1:17', 'numeral-string', '/db/port'], ['1:33', 'no-boolean', '/db/debug'], ['2:12', 'no-null', '/ok/1']]);
  assert.equal(await shownJson(page), 'No kessa text: see why below.');
  await page.getByRole('button', { name: /no-boolean/ }).click();
  assert.equal((await selection(page)).text, 'true');

  // JSON that is not JSON: its fault and line.
  await editor.fill('{"a": [1,}');
  await settledJson(page);
  assert.match(await page.locator('#status').textContent(), /^Malformed JSON at line 1, column 10: .+\.$/);

  // A link holds the direction with the text; switched back, the kessa text goes on.
  await editor.fill('{"shared": ["a", "b"]}');
  await settledJson(page);
  await page.getByRole('link', { name: 'Link to this text' }).click();
  await page.waitForFunction(() => location.hash.startsWith('#json='));
  const opened = await context.newPage();
  await opened.goto(page.url());
  await opened.waitForFunction(() => document.querySelector('#json .lines').textContent === 'shared={a,b}\n');
  assert.ok(await opened.getByRole('radio', { name: 'JSON to kessa' }).isChecked());
  await opened.close();
  await page.getByRole('radio', { name: 'kessa to JSON' }).check();
  assert.equal(await editorText(page), 'shared={a,b}\n');
  await settled(page);
  assert.equal(await shownJson(page), native('shared={a,b}\n').json);
  await page.close();
});

test('labels, contrast and a screenshot', { skip }, async () => {
  const page = await openPage();
  await settled(page);
  // Every control has a name a screen reader can say.
  for (const [role, name] of [['textbox', 'Kessa text'], ['textbox', 'JSON'], ['link', 'Link to this text'],
    ['button', 'Copy the link'], ['button', 'Copy the JSON'], ['radio', 'kessa to JSON'], ['radio', 'JSON to kessa'],
    ['group', 'Convert']]) {
    assert.equal(await page.getByRole(role, { name, exact: true }).count(), 1, `${role} ${name}`);
  }
  for (const scheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme: scheme });
    const low = await page.evaluate(() => {
      const rgb = (color) => color.match(/[\d.]+/g).map(Number);
      const luminance = ([r, g, b]) => {
        const linear = (c) => (c /= 255) <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
        return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
      };
      const background = (element) => {
        for (let e = element; e; e = e.parentElement) {
          const color = rgb(getComputedStyle(e).backgroundColor);
          if (color.length < 4 || color[3] > 0) return color;
        }
        return [255, 255, 255];
      };
      const failures = [];
      for (const element of document.querySelectorAll('body *')) {
        const own = [...element.childNodes].some((node) => node.nodeType === 3 && node.textContent.trim());
        if (!own && element.tagName !== 'TEXTAREA') continue;
        const fore = luminance(rgb(getComputedStyle(element).color));
        const back = luminance(background(element));
        const ratio = (Math.max(fore, back) + 0.05) / (Math.min(fore, back) + 0.05);
        if (ratio < 4.5) failures.push(`${element.tagName}.${element.className}: ${ratio.toFixed(2)}`);
      }
      return failures;
    });
    assert.deepEqual(low, [], `contrast below 4.5:1 in the ${scheme} scheme`);
  }
  await page.emulateMedia({ colorScheme: 'light' });
  if (process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT });
  await page.close();
});

test('once loaded, the page opens and converts offline', { skip }, async () => {
  const page = await openPage();
  await settled(page);
  await page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    if (!navigator.serviceWorker.controller) {
      await new Promise((resolve) => navigator.serviceWorker.addEventListener('controllerchange', resolve));
    }
  });
  await context.setOffline(true);
  try {
    await page.reload();
    await settled(page);
    await page.getByLabel('Kessa text').fill('offline=1\n');
    await page.waitForFunction(() => document.querySelector('#json .lines').textContent === '{\n    "offline": 1\n}');
  } finally {
    await context.setOffline(false);
  }
  await page.close();
});
