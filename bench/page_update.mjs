// How the page keeps up with typing on a large text, in Debian's Chromium: each text is loaded
// (pasted at once), then characters are typed in its middle one at a time, each once the last
// one shows. For each keystroke: the worker's conversion and check, the page's own work to show
// the answer (JSON, underlines and list), and the time from the key's event until the answer
// is drawn; and the main thread's longest task meanwhile.
//
//   node bench/page_update.mjs PAGE_DIR KESSA_FILE... [--edits N]

import { readFileSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { CHROMIUM, CHROMIUM_FLAGS, serve } from '../tests/web/serve.mjs';

const { chromium } = await import('../tests/web/node_modules/playwright-core/index.mjs');
const args = process.argv.slice(2);
const at = args.indexOf('--edits');
const edits = at >= 0 ? Number(args.splice(at, 2)[1]) : 20;
const [pageDir, ...files] = args;
if (files.length === 0 || !(edits > 0)) {
  console.error('usage: node bench/page_update.mjs PAGE_DIR KESSA_FILE... [--edits N]');
  process.exit(1);
}
const server = await serve(pageDir);
const profile = mkdtempSync(join(tmpdir(), 'kessa-bench-page-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS, viewport: { width: 1280, height: 860 },
});
context.setDefaultTimeout(600_000);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];
const ms = (value) => `${value.toFixed(0)} ms`;

try {
  for (const file of files) {
    const text = readFileSync(file, 'utf8');
    const page = await context.newPage();
    await page.goto(server.url);
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Converted'));
    await page.evaluate(() => {
      // The key's own time, from its event, and the longest task on the page's thread.
      window.addEventListener('keydown', (event) => {
        performance.clearMarks('kessa-key');
        performance.mark('kessa-key', { startTime: event.timeStamp });
      }, true);
      window.longest = 0;
      new PerformanceObserver((list) => {
        for (const entry of list.getEntries()) window.longest = Math.max(window.longest, entry.duration);
      }).observe({ type: 'longtask' });
    });
    const loaded = await page.evaluate((value) => new Promise((resolve) => {
      const start = performance.now();
      const view = document.getElementById('kessa').editorView;
      view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: value } });
      const json = document.getElementById('json');
      const wait = () => {
        if (json.hasAttribute('aria-busy')) {
          setTimeout(wait, 5);
        } else {
          requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - start)));
        }
      };
      wait();
    }), text);
    // Typing in the middle of the text: the conversion runs over all of it either way.
    await page.$eval('#kessa', (host) => {
      const view = host.editorView;
      const middle = view.state.doc.lineAt(view.state.doc.length >> 1).to;
      view.dispatch({ selection: { anchor: middle }, scrollIntoView: true });
      view.focus();
    });
    await page.evaluate(() => { window.longest = 0; });
    const total = [], worker = [], shown = [];
    for (let i = 0; i < edits; ++i) {
      await page.evaluate(() => performance.clearMeasures('kessa-update'));
      await page.keyboard.type(i % 2 === 0 ? 'x' : '\n');
      await page.waitForFunction(() => performance.getEntriesByName('kessa-update').length > 0);
      const times = await page.evaluate(() => {
        const update = performance.getEntriesByName('kessa-update')[0];
        const key = performance.getEntriesByName('kessa-key')[0];
        const show = performance.getEntriesByName('kessa-show')[0];
        return { total: update.startTime + update.duration - key.startTime, show: show.duration, worker: show.detail.worker };
      });
      total.push(times.total);
      shown.push(times.show);
      worker.push(times.worker);
    }
    const longest = await page.evaluate(() => window.longest);
    const status = (await page.textContent('#status')).trim();
    console.log(`${basename(file)}: ${(Buffer.byteLength(text) / 1e6).toFixed(1)} MB of kessa (${status}); ` +
      `pasted to drawn ${ms(loaded)}`);
    console.log(`  median of ${edits} keystrokes: worker (convert + check) ${ms(median(worker))}, ` +
      `page (JSON, underlines, list) ${ms(median(shown))}, key to drawn answer ${ms(median(total))} ` +
      `(slowest ${ms(Math.max(...total))}); longest task on the page's thread ${ms(longest)}`);
    await page.close();
  }
} finally {
  await context.close();
  await server.close();
  rmSync(profile, { recursive: true, force: true });
}
