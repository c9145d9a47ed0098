// The package built into a page by each bundler as js/README.md and doc/javascript.md show (the
// same lines in both): the lines after their <!-- js-BUNDLER-... --> markers run as written in a
// new project with the packed package installed, and the page, served, converts a text in
// Debian's Chromium (or, where a row says the docs' lines are needed, fails without them). The bundlers are the
// ones pinned beside this file: the install lines are checked to name them and the pinned ones
// are linked into the project instead of fetched.
//
//   KESSA_TARBALL=kessa2json-VERSION.tgz node --test tests/js/bundlers

import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { cpSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { CHROMIUM, CHROMIUM_FLAGS, serve } from '../../web/serve.mjs';

const here = fileURLToPath(new URL('.', import.meta.url));
const root = join(here, '..', '..', '..');
const tarball = process.env.KESSA_TARBALL;
const pinned = JSON.parse(readFileSync(join(here, 'package.json'), 'utf8')).devDependencies;

const TEXT = 'name=demo\nports={80,443}\n';
const JSON_TEXT = '{\n    "name": "demo",\n    "ports": [\n        80,\n        443\n    ]\n}';

// Each bundler's lines, the import the page's script makes, where the page's HTML goes and how
// it loads the script; `serve` is the folder served, or absent where the last block serves.
const ROWS = [
  { name: 'webpack', blocks: ['js-webpack-install', 'js-webpack-build'], from: 'kessa2json',
    html: 'dist/index.html', script: '<script defer src="main.js"></script>', serve: 'dist' },
  { name: 'Vite build', blocks: ['js-vite-install', 'js-vite-build'], from: 'kessa2json',
    html: 'index.html', script: '<script type="module" src="/src/index.js"></script>', serve: 'dist' },
  { name: 'Vite dev server', blocks: ['js-vite-install', 'js-vite-dev'], from: 'kessa2json',
    html: 'index.html', script: '<script type="module" src="/src/index.js"></script>' },
  { name: 'Vite dev server, the package not bundled ahead', blocks: ['js-vite-install', 'js-vite-config', 'js-vite-dev'],
    from: 'kessa2json', html: 'index.html', script: '<script type="module" src="/src/index.js"></script>' },
  // Vite 7, which bundles with Rollup, in place of the latest: its dev server needs the config.
  { name: 'Vite 7 build', blocks: ['js-vite-install', 'js-vite-build'], from: 'kessa2json', use: { vite: 'vite7' },
    html: 'index.html', script: '<script type="module" src="/src/index.js"></script>', serve: 'dist' },
  { name: 'Vite 7 dev server, the package bundled ahead', blocks: ['js-vite-install', 'js-vite-dev'], from: 'kessa2json',
    use: { vite: 'vite7' }, fails: true,
    html: 'index.html', script: '<script type="module" src="/src/index.js"></script>' },
  { name: 'Vite 7 dev server, the package not bundled ahead', blocks: ['js-vite-install', 'js-vite-config', 'js-vite-dev'],
    from: 'kessa2json', use: { vite: 'vite7' },
    html: 'index.html', script: '<script type="module" src="/src/index.js"></script>' },
  { name: 'esbuild, inline entry', blocks: ['js-esbuild-install', 'js-esbuild-build'],
    from: 'kessa2json/inline', html: 'dist/index.html', script: '<script defer src="main.js"></script>',
    serve: 'dist' },
  { name: 'esbuild, kessa.wasm copied', blocks: ['js-esbuild-install', 'js-esbuild-copy'],
    from: 'kessa2json', html: 'dist/index.html',
    script: '<script type="module" src="main.js"></script>', serve: 'dist' },
];

const docs = ['js/README.md', 'doc/javascript.md'].map((file) => [file, readFileSync(join(root, file), 'utf8')]);

/** The fenced block after <!-- NAME --> in `text`, or null. */
function blockIn(text, name) {
  return text.match(new RegExp(`<!-- ${name} -->\\n\`\`\`\\w*\\n([\\s\\S]*?)\`\`\`\\n`))?.[1] ?? null;
}

/** The block NAME, the same in the npm README and the project's doc page. */
function block(name) {
  const [[first, text], ...others] = docs;
  const found = blockIn(text, name);
  assert.ok(found !== null, `no block after <!-- ${name} --> in ${first}`);
  for (const [file, other] of others) assert.equal(blockIn(other, name), found, `${file} and ${first} differ at ${name}`);
  return found;
}

const why = !tarball ? 'KESSA_TARBALL (the packed package) is not set'
  : !existsSync(join(here, 'node_modules', '.bin', 'webpack')) ? `the bundlers are not installed: npm ci in ${here}`
  : !existsSync(CHROMIUM) ? `no Chromium at ${CHROMIUM}`
  : !existsSync(join(root, 'tests', 'web', 'node_modules', 'playwright-core')) ? 'no playwright-core: npm ci in tests/web'
  : null;

let base; // a project with the package installed and the pinned bundlers linked in
let browser;

before(async () => {
  if (why) return;
  base = mkdtempSync(join(tmpdir(), 'kessa-bundlers-'));
  writeFileSync(join(base, 'package.json'), '{ "private": true, "type": "module" }\n');
  mkdirSync(join(base, 'src'));
  mkdirSync(join(base, 'dist'));
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--silent', tarball], { cwd: base });
  const modules = join(here, 'node_modules');
  for (const entry of readdirSync(modules)) {
    if (entry === 'kessa2json' || entry === '.package-lock.json') continue;
    if (entry === '.bin') {
      // The package's own bin is there already: the bundlers' commands join it.
      mkdirSync(join(base, 'node_modules', '.bin'), { recursive: true });
      for (const name of readdirSync(join(modules, '.bin'))) {
        if (name !== 'kessa2json') symlinkSync(join(modules, '.bin', name), join(base, 'node_modules', '.bin', name));
      }
      continue;
    }
    symlinkSync(join(modules, entry), join(base, 'node_modules', entry));
  }
  const { chromium } = createRequire(join(root, 'tests', 'web', 'node_modules', '/'))('playwright-core');
  browser = await chromium.launch({ executablePath: CHROMIUM, args: CHROMIUM_FLAGS });
});

after(async () => {
  await browser?.close();
  if (base) rmSync(base, { recursive: true, force: true });
});

/** What the page at `url` shows: the JSON it converted, or the error it met. */
async function pageAt(url) {
  const page = await browser.newPage();
  const failed = [];
  page.on('pageerror', (error) => failed.push(String(error)));
  page.on('response', (response) => { if (!response.ok()) failed.push(`${response.status()} ${response.url()}`); });
  try {
    await page.goto(url);
    await page.waitForSelector('body[data-json], body[data-error]', { state: 'attached', timeout: 10000 });
    return { json: await page.getAttribute('body', 'data-json'), error: await page.getAttribute('body', 'data-error'), failed };
  } finally {
    await page.close();
  }
}

/** Runs a block's lines in `dir`; a server's block resolves to the address it prints. */
function run(lines, dir, server) {
  if (!server) return execFileSync('bash', ['-e', '-c', lines], { cwd: dir, encoding: 'utf8', stdio: 'pipe' });
  const child = spawn('bash', ['-e', '-c', lines], { cwd: dir, detached: true, stdio: ['ignore', 'pipe', 'pipe'] });
  let printed = '';
  const address = new Promise((resolve, reject) => {
    const seen = (chunk) => {
      printed += chunk;
      const found = printed.replace(/\x1b\[[\d;]*m/g, '').match(/(http:\/\/\S+:\d+\/)/);
      if (found) resolve(found[1]);
    };
    child.stdout.on('data', seen);
    child.stderr.on('data', seen);
    child.on('exit', (status) => reject(new Error(`the server stopped with status ${status}: ${printed}`)));
  });
  return { address, stop: () => process.kill(-child.pid) };
}

/** Writes the block of a file, whose first line names it as a comment: "// vite.config.js". */
function writeBlock(text, dir) {
  const file = text.match(/^\/\/ (\S+)\n/)?.[1];
  assert.ok(file, `a file's block names it on its first line: ${text}`);
  writeFileSync(join(dir, file), text);
}

for (const row of ROWS) {
  test(`${row.name}: the page converts a text`, { skip: why ?? false, timeout: 60000 }, async (t) => {
    const dir = mkdtempSync(join(tmpdir(), 'kessa-bundler-'));
    let server;
    try {
      cpSync(base, dir, { recursive: true, verbatimSymlinks: true });
      // Another version of a bundler, pinned under an alias, in its place and its commands'.
      for (const [name, alias] of Object.entries(row.use ?? {})) {
        const modules = join(dir, 'node_modules');
        const { bin } = JSON.parse(readFileSync(join(here, 'node_modules', alias, 'package.json'), 'utf8'));
        rmSync(join(modules, name));
        symlinkSync(join(here, 'node_modules', alias), join(modules, name));
        rmSync(join(modules, '.bin', name));
        symlinkSync(join(here, 'node_modules', alias, bin[name]), join(modules, '.bin', name));
      }
      writeFileSync(join(dir, 'src', 'index.js'), [
        `import { convert, init } from '${row.from}';`,
        '(async () => {',
        '  await init();',
        `  document.body.dataset.json = convert(${JSON.stringify(TEXT)});`,
        '})().catch((error) => {',
        '  document.body.dataset.error = String(error);',
        '});',
        '',
      ].join('\n'));
      writeFileSync(join(dir, row.html), `<!doctype html>\n<title>kessa2json</title>\n${row.script}\n`);
      const last = row.blocks.at(-1);
      for (const name of row.blocks) {
        const lines = block(name);
        if (name.endsWith('-install')) {
          const named = lines.match(/^npm install --save-dev ((?:[\w@/.-]+ ?)+)\n$/)?.[1].trim().split(' ');
          assert.ok(named, `${name} is one line, npm install --save-dev and the packages: ${lines}`);
          for (const pkg of named) assert.ok(pkg in pinned, `${name} installs ${pkg}, which ${here}package.json does not pin`);
        } else if (name.endsWith('-config')) {
          writeBlock(lines, dir);
        } else if (name === last && !row.serve) {
          server = run(lines, dir, true);
        } else {
          const start = performance.now();
          run(lines, dir, false);
          t.diagnostic(`${name}: ${Math.round(performance.now() - start)} ms`);
        }
      }
      let address;
      if (row.serve) {
        server = await serve(join(dir, row.serve));
        address = server.url;
      } else {
        address = await server.address;
      }
      const shown = await pageAt(address);
      if (row.fails) assert.ok(shown.json === null && shown.error !== null, `it converts after all: ${JSON.stringify(shown)}`);
      else assert.deepEqual(shown, { json: JSON_TEXT, error: null, failed: [] });
    } finally {
      if (server) await (server.close ?? server.stop)();
      rmSync(dir, { recursive: true, force: true });
    }
  });
}
