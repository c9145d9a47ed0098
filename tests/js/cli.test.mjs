// npx kessa2json, the package's program, held to the native tool. Each row of
// tests/cli_cases/cases.json runs through both, each in a fresh folder with the row's files:
// both must give the row's status, standard output and error and files, and the same bytes as each
// other, the folder's whole content included. Then the benchmark's workloads and the C++ tables'
// texts go through both.
//
//   KESSA_PROJECT=scratch KESSA2JSON=tool KESSA_CASES_DUMP=kessa_cases_dump
//   [KESSA_GENERATE=generate] [KESSA_CORPUS=fuzz/corpus] [KESSA_TARBALL=kessa2json-VERSION.tgz] \
//   node --test tests/js/cli.test.mjs
//
// With KESSA_TARBALL, the packed package, the kessa-check-node hook runs under pre-commit.

import assert from 'node:assert/strict';
import { execFile, execFileSync, spawnSync } from 'node:child_process';
import {
  chmodSync, closeSync, existsSync, lstatSync, mkdirSync, mkdtempSync, openSync, readdirSync, readFileSync, rmSync,
  statSync, writeFileSync,
} from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { cases, numbersText } from './native.mjs';

const project = process.env.KESSA_PROJECT;
const checkout = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const rows = JSON.parse(readFileSync(join(checkout, 'tests', 'cli_cases', 'cases.json'), 'utf8'));

// The two builds of each program (kessa2json, or the row's `program`: kessafmt, json2kessa): the
// native one, beside the native kessa2json, and the package's bin as npm installed it, which npx
// runs (npx itself, which costs a third of a second a run, runs in a test of its own).
const programs = {
  native: (args, name = 'kessa2json') => [join(dirname(process.env.KESSA2JSON), name), args],
  npx: (args, name = 'kessa2json') => [join(project, 'node_modules', '.bin', name), args],
};

/** Every file under `dir`, by relative path, with its bytes (a folder: null), and their modes. */
function snapshot(dir, prefix = '', files = {}, modes = {}) {
  for (const name of readdirSync(dir).sort()) {
    const path = join(dir, name);
    const status = lstatSync(path);
    modes[prefix + name] = (status.mode & 0o7777).toString(8);
    if (status.isDirectory()) {
      files[`${prefix}${name}/`] = null;
      snapshot(path, `${prefix}${name}/`, files, modes);
    } else {
      files[prefix + name] = readFileSync(path);
    }
  }
  return { files, modes };
}

/** Runs `args` through `program` in a fresh folder of the project holding the row's files. */
function run(program, { program: name, files = {}, modes = {}, args, stdin = '', replaced = [] }) {
  const dir = mkdtempSync(join(project, 'cli-'));
  try {
    for (const [name, text] of Object.entries(files)) {
      if (name.endsWith('/')) mkdirSync(join(dir, name), { recursive: true });
      else writeFileSync(join(dir, name), text);
    }
    for (const [name, mode] of Object.entries(modes)) chmodSync(join(dir, name), parseInt(mode, 8));
    const before = Object.fromEntries(replaced.map((name) => [name, statSync(join(dir, name)).ino]));
    const fromFile = stdin.file === undefined ? null : openSync(join(dir, stdin.file), 'r');
    const [command, argv] = typeof program === 'function' ? program(args) : programs[program](args, name);
    let result;
    try {
      result = spawnSync(command, argv, {
        cwd: dir, maxBuffer: 1 << 30,
        ...(fromFile === null ? { input: stdin } : { stdio: [fromFile, 'pipe', 'pipe'] }),
      });
    } finally {
      if (fromFile !== null) closeSync(fromFile);
    }
    if (result.error) throw result.error;
    return {
      status: result.status,
      stdout: result.stdout,
      stderr: result.stderr,
      ...snapshot(dir),
      replaced: replaced.filter((name) => existsSync(join(dir, name)) && statSync(join(dir, name)).ino !== before[name]),
    };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

function expectText(actual, expected, label) {
  const text = actual.toString('utf8');
  if (typeof expected === 'string') assert.equal(text, expected, label);
  else assert.match(text, new RegExp(expected.match), label);
}

test('each row: both programs give what it says, and the same bytes', () => {
  for (const given of rows) {
    // Where root may do what a user may not (write a read-only file), the row says what it gets.
    const row = { ...given, ...(process.getuid?.() === 0 ? given.asRoot : {}) };
    const results = {};
    for (const program of Object.keys(programs)) {
      const label = `${row.name} (${program})`;
      const result = run(program, row);
      assert.equal(result.status, row.status, `${label}: the status; standard error: ${result.stderr}`);
      expectText(result.stdout, row.stdout, `${label}: standard output`);
      expectText(result.stderr, row.stderr, `${label}: standard error`);
      for (const [name, text] of Object.entries(row.after ?? {})) {
        assert.deepEqual(result.files[name] ?? null, text === null ? null : Buffer.from(text), `${label}: ${name}`);
      }
      assert.deepEqual(result.replaced, row.replaced ?? [], `${label}: the files replaced by new ones`);
      results[program] = result;
    }
    assert.deepEqual(results.npx, results.native, `${row.name}: npx ${row.program ?? 'kessa2json'} differs from the native tool`);
  }
});

test('the benchmark\'s workloads, from files and through pipes', { skip: !process.env.KESSA_GENERATE && 'KESSA_GENERATE is not set' }, () => {
  const dir = mkdtempSync(join(project, 'cli-workload-'));
  try {
    for (const workload of ['realistic', 'findings']) {
      // Two megabytes: past the size from which the native tool writes from a second thread.
      const prefix = join(dir, workload);
      spawnSync(process.env.KESSA_GENERATE, [workload, '7', '2', prefix]);
      const text = readFileSync(`${prefix}.kessa`);
      const expected = readFileSync(`${prefix}.expected.json`);
      for (const program of Object.keys(programs)) {
        const label = `${workload} (${program})`;
        const files = { 'in.kessa': text };
        const converted = run(program, { files, args: ['in.kessa', 'out.json'] });
        assert.equal(converted.status, 0, `${label}: ${converted.stderr}`);
        assert.ok(converted.files['out.json'].equals(expected), `${label}: the JSON file`);
        const piped = run(program, { args: ['-', '-'], stdin: text });
        assert.equal(piped.status, 0, `${label}: ${piped.stderr}`);
        assert.ok(piped.stdout.equals(expected), `${label}: the JSON on standard output`);
      }
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

/** The texts of the C++ tables: accepted, rejected, faulty, and with findings. */
function tableTexts(table) {
  return [...table.accepted.map((row) => row.input), ...table.rejected,
    ...table.faults.map((row) => row.input), ...table.findings.map((row) => row.input)];
}

// Each text converted by both programs, one run each: the tables' texts, the numbers of every
// class (the WebAssembly build has float conversions of its own) and the converter's fuzz corpus.
test('the tables\' texts, generated numbers and the corpus convert to the same bytes and messages', () => {
  const table = cases();
  const texts = [...tableTexts(table), numbersText(table)];
  for (const corpus of process.env.KESSA_CORPUS ? ['convert'] : []) {
    const dir = join(process.env.KESSA_CORPUS, corpus);
    for (const name of existsSync(dir) ? readdirSync(dir).sort() : []) texts.push(readFileSync(join(dir, name)));
  }
  const files = Object.fromEntries(texts.map((text, i) => [`${i}.kessa`, text]));
  const each = 'for f in *.kessa; do "$0" "$f" "${f%.kessa}.json" 2>"${f%.kessa}.err"; echo $? >"${f%.kessa}.status"; done';
  const loop = (name) => (args) => ['bash', ['-c', each, programs[name](args)[0]]];
  const native = run(loop('native'), { files, args: [] });
  assert.ok(Object.keys(native.files).filter((name) => name.endsWith('.json')).length > texts.length / 2);
  assert.deepEqual(run(loop('npx'), { files, args: [] }), native, 'npx kessa2json differs from the native tool');
});

test('the C++ tables\' texts, checked in each format', () => {
  const texts = tableTexts(cases());
  const files = Object.fromEntries(texts.map((text, i) => [`${i}.kessa`, text]));
  for (const format of ['text', 'json', 'sarif', 'github']) {
    const args = ['--check', '--format', format, ...Object.keys(files)];
    const native = run('native', { files, args });
    assert.ok([2, 3].includes(native.status), `${format}: ${native.stderr}`);
    assert.deepEqual(run('npx', { files, args }), native, `${format}: npx kessa2json differs from the native tool`);
  }
});

// npx kessa2json fetches nothing: a schema by URL is refused, with the way out, until the native
// tool, which fetches, has cached it; then it is taken from that cache, saying so.
test('a schema by URL: npx kessa2json takes it from the native tool\'s cache, and else refuses it', async () => {
  const dir = mkdtempSync(join(project, 'cli-url-'));
  const server = createServer((request, response) => response.end('{"properties": {"a": {"type": "string"}}}'));
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = `http://127.0.0.1:${server.address().port}/s.json`;
  // Asynchronously, so that this process's server answers the native tool meanwhile.
  const check = (program) => new Promise((resolve) => {
    execFile(programs[program]([])[0], ['--check', '--schema', url, 'in.kessa'],
      { cwd: dir, env: { ...process.env, XDG_CACHE_HOME: join(dir, 'cache') } },
      (error, stdout, stderr) => resolve({ status: error ? error.code : 0, stdout, stderr }));
  });
  try {
    writeFileSync(join(dir, 'in.kessa'), 'a=1\n');
    const refused = await check('npx');
    assert.deepEqual(refused, { status: 2, stdout: '',
      stderr: `kessa2json: ${url}: cannot fetch the schema: this build of kessa2json fetches nothing; name its file with --resolve\n` });
    const fetched = await check('native');
    if (fetched.stderr.includes('fetches nothing')) return; // a native build without libcurl
    assert.equal(fetched.status, 3, fetched.stderr);
    const cached = await check('npx');
    assert.equal(cached.status, 3, cached.stderr);
    assert.equal(cached.stdout, `${url}:1:1: note: the schema ${url} is taken from the cache: this build of kessa2json ` +
      `fetches nothing [schema-cached]\n${fetched.stdout}`);
  } finally {
    server.close();
    rmSync(dir, { recursive: true, force: true });
  }
});

test('npx kessa2json, from a folder of the project, without fetching', () => {
  const npx = (args) => ['npx', ['--no-install', 'kessa2json', ...args]];
  for (const row of [rows[0], rows.find((r) => r.args[0] === '-' && typeof r.stdin === 'string')]) {
    assert.deepEqual(run(npx, row), run('native', row), row.name);
  }
});

// A reader that stops early (| head) ends the native tool through SIGPIPE, silently: the package's
// program, in Node, which ignores that signal, ends the same way as the shell sees it.
test('a pipe whose reader stops early ends both programs silently, with status 141', () => {
  const dir = mkdtempSync(join(project, 'cli-pipe-'));
  try {
    writeFileSync(join(dir, 'in.kessa'), Array.from({ length: 100000 }, (_, i) => `k${i}=v${i}\n`).join(''));
    for (const program of Object.keys(programs)) {
      const [command] = programs[program]([]);
      const run = spawnSync('bash', ['-c', '"$0" in.kessa - | head -c 10 >/dev/null; echo "${PIPESTATUS[0]}"', command],
        { cwd: dir, encoding: 'utf8' });
      assert.deepEqual({ status: run.stdout, stderr: run.stderr }, { status: '141\n', stderr: '' }, program);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// A pipe its writer made non-blocking finds the reader's end so too (a Node parent makes a child's
// standard streams blocking, others need not): where a read finds nothing yet, the program waits
// for more all the same. The native tool, as cat, fails there with EAGAIN.
const nonBlockingParent = `
import fcntl, os, subprocess, sys, time
read, write = os.pipe()
fcntl.fcntl(read, fcntl.F_SETFL, fcntl.fcntl(read, fcntl.F_GETFL) | os.O_NONBLOCK)
child = subprocess.Popen(sys.argv[1:], stdin=read)
os.close(read)
text = sys.stdin.buffer.read()
for at in range(0, len(text), 50000):
    os.write(write, text[at:at + 50000])
    time.sleep(0.03)
os.close(write)
sys.exit(child.wait())
`;
const python = spawnSync('python3', ['--version']).status === 0;

test('npx kessa2json reads a standard input left non-blocking, as it comes', { skip: !python && 'no python3' }, () => {
  const dir = mkdtempSync(join(project, 'cli-nonblocking-'));
  try {
    const text = Buffer.from(Array.from({ length: 20000 }, (_, i) => `k${i}=v${i}\n`).join(''));
    const expected = run('native', { args: ['-', '-'], stdin: text }).stdout;
    const [command, args] = programs.npx(['-', 'out.json']);
    const result = spawnSync('python3', ['-c', nonBlockingParent, command, ...args], { cwd: dir, input: text });
    assert.equal(result.status, 0, String(result.stderr));
    assert.ok(readFileSync(join(dir, 'out.json')).equals(expected));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// The hook of .pre-commit-hooks.yaml as a repository names it, from a clone of the hooks (this
// checkout's, committed), with the packed package in place of the registry's: pre-commit installs
// it offline into an environment over the system's Node. try-repo would fetch the version the
// hook names, so pre-commit run takes a configuration instead.
const preCommit = spawnSync('pre-commit', ['--version']).status === 0;
test('the kessa-check-node and kessa-fmt-node hooks run the package\'s programs under pre-commit', {
  skip: (!process.env.KESSA_TARBALL && 'KESSA_TARBALL is not set') || (!preCommit && 'pre-commit is not installed'),
}, () => {
  const work = mkdtempSync(join(tmpdir(), 'kessa-hook-'));
  const env = {
    ...process.env, HOME: work, PRE_COMMIT_HOME: join(work, 'cache'), GIT_CONFIG_NOSYSTEM: '1',
    GIT_AUTHOR_NAME: 'test', GIT_AUTHOR_EMAIL: 'test@example.org', GIT_COMMITTER_NAME: 'test',
    GIT_COMMITTER_EMAIL: 'test@example.org', npm_config_offline: 'true', npm_config_audit: 'false',
    npm_config_fund: 'false', npm_config_update_notifier: 'false',
  };
  const git = (cwd, ...args) => execFileSync('git', args, { cwd, env, encoding: 'utf8' }).trim();
  const preCommitRun = (cwd) => spawnSync('pre-commit', ['run'], { cwd, env, encoding: 'utf8' });
  try {
    const hooks = join(work, 'hooks');
    mkdirSync(hooks);
    const declared = readFileSync(join(checkout, '.pre-commit-hooks.yaml'), 'utf8');
    const { version } = JSON.parse(readFileSync(join(project, 'node_modules', 'kessa2json', 'package.json'), 'utf8'));
    const pins = declared.match(/additional_dependencies: .*/g);
    assert.deepEqual(pins, pins.map(() => `additional_dependencies: ['kessa2json@${version}']`),
      `a node hook installs another version than ${version}`);
    writeFileSync(join(hooks, '.pre-commit-hooks.yaml'), declared);
    writeFileSync(join(hooks, 'package.json'), readFileSync(join(checkout, 'package.json')));
    git(hooks, 'init', '-q', '.');
    git(hooks, 'add', '.');
    git(hooks, 'commit', '-q', '-m', 'hooks');
    const repo = join(work, 'repo');
    mkdirSync(repo);
    git(repo, 'init', '-q', '.');
    writeFileSync(join(repo, '.pre-commit-config.yaml'), `repos:
  - repo: ${hooks}
    rev: ${git(hooks, 'rev-parse', 'HEAD')}
    hooks:
      - id: kessa-check-node
        additional_dependencies: ['${process.env.KESSA_TARBALL}']
      - id: kessa-fmt-node
        additional_dependencies: ['${process.env.KESSA_TARBALL}']
`);
    writeFileSync(join(repo, 'clean.kessa'), 'name=demo\nport=8080\n');
    git(repo, 'add', '.');
    let run = preCommitRun(repo);
    assert.equal(run.status, 0, run.stdout + run.stderr);
    assert.match(run.stdout, /^kessa2json --check\.+Passed$/m);
    assert.match(run.stdout, /^kessafmt\.+Passed$/m);
    writeFileSync(join(repo, 'faulty.kessa'), 'zip=01234\n');
    writeFileSync(join(repo, 'packed.kessa'), 'box={w=1,h=2}\n');
    git(repo, 'add', 'faulty.kessa', 'packed.kessa');
    run = preCommitRun(repo);
    assert.equal(run.status, 1, run.stdout + run.stderr);
    assert.match(run.stdout, /^kessa2json --check\.+Failed$/m);
    assert.match(run.stdout, /^kessafmt\.+Failed$/m);
    assert.equal(readFileSync(join(repo, 'packed.kessa'), 'utf8'), 'box={\n    w=1\n    h=2\n}\n');
    assert.ok(run.stdout.includes('faulty.kessa:1:5: warning: the leading zeros of "01234" are dropped'), run.stdout);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
