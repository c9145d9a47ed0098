// How the page keeps up with typing on a large text, in Debian's Chromium: the text is loaded,
// then characters are typed at its end one at a time, each once the last one shows. For each
// edit: the worker's conversion and check, the page's own work to show the answer, and the time
// from the input event until the answer is drawn; and the main thread's longest task meanwhile.
// The same edits in a bare textarea holding the same text give the browser's own share.
//
//   node bench/page_update.mjs PAGE_DIR KESSA_FILE [EDITS]

import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { CHROMIUM, CHROMIUM_FLAGS, serve } from '../tests/web/serve.mjs';

const { chromium } = await import('../tests/web/node_modules/playwright-core/index.mjs');
const [pageDir, file, editsText = '20'] = process.argv.slice(2);
if (!file) {
  console.error('usage: node bench/page_update.mjs PAGE_DIR KESSA_FILE [EDITS]');
  process.exit(1);
}
const edits = Number(editsText);
const text = readFileSync(file, 'utf8');
const server = await serve(pageDir);
const profile = mkdtempSync(join(tmpdir(), 'kessa-bench-page-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS,
});
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const drawn = (page) => page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve))));

try {
  const page = await context.newPage();
  await page.goto(server.url);
  const start = Date.now();
  await page.$eval('#kessa', (area, value) => {
    area.value = value;
    area.dispatchEvent(new Event('input'));
  }, text);
  await page.waitForFunction(() => !document.getElementById('json').hasAttribute('aria-busy'));
  await drawn(page);
  const loaded = Date.now() - start;
  await page.evaluate(() => {
    window.longest = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longest = Math.max(window.longest, entry.duration);
    }).observe({ type: 'longtask' });
  });
  await page.focus('#kessa');
  await page.$eval('#kessa', (area) => area.setSelectionRange(area.value.length, area.value.length));
  const total = [], worker = [], shown = [];
  for (let i = 0; i < edits; ++i) {
    await page.evaluate(() => performance.clearMeasures('kessa-update'));
    await page.keyboard.type(i % 2 === 0 ? 'x' : '\n');
    await page.waitForFunction(() => performance.getEntriesByName('kessa-update').length > 0);
    const [update, show] = await page.evaluate(() => ['kessa-update', 'kessa-show']
      .map((name) => performance.getEntriesByName(name)[0])
      .map((entry) => ({ duration: entry.duration, detail: entry.detail })));
    total.push(update.duration);
    shown.push(show.duration);
    worker.push(show.detail.worker);
  }
  const longest = await page.evaluate(() => window.longest);
  const status = (await page.textContent('#status')).trim();

  // The browser's own share: the same edits in a bare textarea with the same text and style.
  const bare = await context.newPage();
  await bare.goto(`${server.url}index.html`);
  await bare.evaluate((value) => {
    const area = document.getElementById('kessa').cloneNode();
    document.body.replaceChildren(area); // no page script listens to this one
    area.value = value;
  }, text);
  await bare.focus('#kessa');
  await bare.$eval('#kessa', (area) => area.setSelectionRange(area.value.length, area.value.length));
  await drawn(bare);
  const alone = [];
  for (let i = 0; i < edits; ++i) {
    const before = Date.now();
    await bare.keyboard.type(i % 2 === 0 ? 'x' : '\n');
    await drawn(bare);
    alone.push(Date.now() - before);
  }

  console.log(`${(Buffer.byteLength(text) / 1e6).toFixed(1)} MB of kessa in the page (${status}); ` +
    `first display ${loaded} ms`);
  console.log(`median of ${edits} edits: worker (convert + check) ${median(worker).toFixed(0)} ms, ` +
    `page (JSON and findings) ${median(shown).toFixed(0)} ms, input to drawn ${median(total).toFixed(0)} ms ` +
    `(slowest ${Math.max(...total).toFixed(0)} ms); a bare textarea with the text, input to drawn ` +
    `${median(alone).toFixed(0)} ms; longest task on the page's thread ${longest.toFixed(0)} ms`);
} finally {
  await context.close();
  await server.close();
  rmSync(profile, { recursive: true, force: true });
}
