// The lines of doc/javascript.md, run as written from the top of the checkout: the release of the
// package and its install into a new project, the example and the output it shows, npx kessa2json
// there, and the page served from its zip.

import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import { readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../..', import.meta.url));
const readme = readFileSync(join(root, 'doc', 'javascript.md'), 'utf8');

/** The fenced block after the marker <!-- NAME --> in doc/javascript.md. */
function block(name) {
  const match = readme.match(new RegExp(`<!-- ${name} -->\\n\`\`\`\\w*\\n([\\s\\S]*?)\`\`\`\\n`));
  assert.ok(match, `no block after <!-- ${name} --> in doc/javascript.md`);
  return match[1];
}

test('the package lines install the package, and its example prints what it shows', () => {
  const shown = block('js-output').split('\n');
  const command = shown.shift().replace(/^\$ /, '');
  const install = `${block('js-install')}pwd\n`;
  const project = execFileSync('bash', ['-e', '-c', install], { cwd: root, encoding: 'utf8' })
    .trim().split('\n').at(-1);
  try {
    writeFileSync(join(project, 'example.mjs'), block('js-example'));
    const printed = execFileSync('bash', ['-e', '-c', command], { cwd: project, encoding: 'utf8' });
    assert.equal(printed, shown.join('\n'));
    // The lines of npx kessa2json in the same project: each command prints what follows it (the
    // JSON file ends without a line break, which the page cannot show).
    const runs = [...block('js-npx').matchAll(/^\$ (.*)\n((?:(?!\$ ).*\n)*)/gm)];
    assert.equal(runs.length, 2);
    for (const [, line, output] of runs) {
      const run = spawnSync('bash', ['-e', '-c', line], { cwd: project, encoding: 'utf8' });
      assert.equal(run.stdout.trimEnd(), output.trimEnd(), `${line}: ${run.stderr}`);
    }
  } finally {
    rmSync(project, { recursive: true, force: true });
  }
});

test('the page line serves the page from its zip', async () => {
  const server = spawn('bash', ['-e', '-c', block('js-page')], {
    cwd: root, detached: true, stdio: ['ignore', 'pipe', 'inherit'],
    env: { ...process.env, PYTHONUNBUFFERED: '1' },
  });
  try {
    let printed = '';
    const address = await new Promise((resolve, reject) => {
      server.stdout.on('data', (chunk) => {
        printed += chunk;
        const found = printed.match(/\(http:\/\/([\d.]+:\d+)\/\)/);
        if (found) resolve(`http://${found[1]}/`);
      });
      server.on('exit', (status) => reject(new Error(`the server stopped with status ${status}: ${printed}`)));
    });
    const page = await fetch(address);
    assert.equal(page.status, 200);
    const html = await page.text();
    assert.match(html, /<title>kessa2json: kessa to JSON in your browser<\/title>/);
    // Built: the script with its editor is in the zip, and the page does not ask to be built.
    assert.doesNotMatch(html, /needs building/);
    assert.equal((await fetch(`${address}page.js`)).status, 200);
    const wasm = await fetch(`${address}kessa/kessa.wasm`);
    assert.equal(wasm.headers.get('content-type'), 'application/wasm');
    assert.deepEqual(Buffer.from(await wasm.arrayBuffer()), readFileSync(join(root, 'build/wasm/npm/kessa.wasm')));
  } finally {
    process.kill(-server.pid);
  }
});
