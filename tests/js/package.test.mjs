// The npm package as a user installs it (scripts/test-js.sh packs it and installs the tarball into
// a scratch project), held to the native tool: the rows of the C++ tables, numbers of every kind,
// the fuzz corpus and the benchmark's workloads, format() to the library's formatter, stringify()
// to parse() over generated values, then the JavaScript API itself.
//
//   KESSA_PROJECT=scratch KESSA2JSON=tool KESSA_CASES_DUMP=kessa_cases_dump
//   [KESSA_CORPUS=fuzz/corpus] [KESSA_GENERATE=generate] node --test tests/js

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { test } from 'node:test';
import { cases, native, nativeSchemaCheck, numbersText } from './native.mjs';

const project = process.env.KESSA_PROJECT;
const kessa = await import(pathToFileURL(join(project, 'entry.mjs')));
const required = createRequire(join(project, 'entry.cjs'))('./entry.cjs');
const rows = cases();

/** The package's items for the bytes, beside the native tool's; the JSON bytes likewise. */
function expectSameAsTool(text, label) {
  const tool = native(text);
  let json = null;
  try {
    json = Buffer.from(kessa.convertBytes(text));
  } catch (error) {
    assert.ok(error instanceof kessa.KessaSyntaxError, `${label}: ${error}`);
  }
  assert.deepEqual(json, tool.json, `${label}: the JSON differs from the tool's`);
  assert.deepEqual(kessa.check(text), tool.items, `${label}: the findings differ from the tool's`);
  return tool;
}

test('both module systems give the same package', () => {
  const names = ['KessaEncodeError', 'KessaSchemaError', 'KessaSyntaxError', 'check', 'convert', 'convertBytes',
    'format', 'init', 'initSync', 'parse', 'stringify'];
  assert.deepEqual(Object.keys(kessa).sort(), names);
  assert.deepEqual(Object.keys(required).sort(), names);
  assert.equal(required.convert('a={1,2}\n'), kessa.convert('a={1,2}\n'));
  assert.throws(() => required.convert('a={\n'), required.KessaSyntaxError);
  assert.equal(required.stringify({ a: [1, 2] }), kessa.stringify({ a: [1, 2] }));
  assert.throws(() => required.stringify({ a: true }), required.KessaEncodeError);
});

test('accepted and rejected texts, as the C++ tables give them', () => {
  for (const row of rows.accepted) expectSameAsTool(row.input, JSON.stringify(row.input.toString('latin1')));
  for (const input of rows.rejected) {
    assert.throws(() => kessa.convertBytes(input), kessa.KessaSyntaxError, input.toString('latin1'));
    expectSameAsTool(input, JSON.stringify(input.toString('latin1')));
  }
});

test('each fault, where it lies and its words', () => {
  for (const row of rows.faults) {
    const label = JSON.stringify(row.input.toString('latin1'));
    const fault = native(row.input).items.at(-1);
    assert.equal(fault.code, 'malformed', label);
    assert.throws(() => kessa.convert(row.input), (error) => {
      assert.ok(error instanceof SyntaxError && error.name === 'KessaSyntaxError', label);
      assert.equal(error.offset, row.offset, label);
      assert.equal(error.message, `${row.words} (line ${fault.line}, column ${fault.column})`, label);
      const { line, column, endLine, endColumn, length } = error;
      assert.deepEqual({ line, column, endLine, endColumn, length },
        { line: fault.line, column: fault.column, endLine: fault.endLine, endColumn: fault.endColumn, length: fault.length },
        label);
      return true;
    });
    assert.deepEqual(kessa.check(row.input).at(-1), fault, label);
  }
});

test('findings: kinds, offsets and bytes, and their words', () => {
  for (const row of rows.findings) {
    const label = JSON.stringify(row.input.toString('latin1'));
    // The table lists them as the reader reports them; the package, in document order.
    const expected = row.findings.map((finding, order) => ({ ...finding, order }))
      .sort((a, b) => a.offset - b.offset || a.order - b.order)
      .map(({ code, offset, length }) => ({ code, offset, length }));
    const found = kessa.check(row.input).map(({ code, offset, length }) => ({ code, offset, length }));
    assert.deepEqual(found, expected, label);
    expectSameAsTool(row.input, label);
  }
  for (const row of rows.words) {
    const words = row.words.map((word) => Buffer.from(word, 'latin1').toString('utf8'));
    const messages = kessa.check(row.input).map((finding) => finding.message);
    assert.deepEqual(messages.sort(), words.sort(), row.input.toString('latin1'));
  }
});

// The numbers go through the WebAssembly build's own float conversions: every value of the typing
// table, and generated doubles of every magnitude as shortest, long, exponent and hexadecimal
// numerals, and ties halfway between two doubles or two six-decimal values.
test('numbers of every class read and write as the tool has them', () => {
  expectSameAsTool(numbersText(rows), 'generated numbers');
});

test('every input of the fuzz corpus', { skip: !process.env.KESSA_CORPUS && 'KESSA_CORPUS is not set' }, () => {
  let count = 0;
  for (const corpus of ['convert', 'parse', 'scalar']) {
    const dir = join(process.env.KESSA_CORPUS, corpus);
    if (!existsSync(dir)) continue;
    for (const name of readdirSync(dir)) {
      const file = join(dir, name);
      if (!statSync(file).isFile()) continue;
      expectSameAsTool(readFileSync(file), `${corpus}/${name}`);
      ++count;
    }
  }
  assert.ok(count > 100, `only ${count} inputs in the corpus`);
});

test('the benchmark\'s workloads', { skip: !process.env.KESSA_GENERATE && 'KESSA_GENERATE is not set' }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'kessa-workload-'));
  try {
    for (const workload of ['realistic', 'findings']) {
      const prefix = join(dir, workload);
      execFileSync(process.env.KESSA_GENERATE, [workload, '7', '2', prefix]);
      const text = readFileSync(`${prefix}.kessa`);
      assert.equal(kessa.convert(text.toString('utf8')), readFileSync(`${prefix}.expected.json`, 'utf8'));
      expectSameAsTool(text, workload);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// Schemas and texts, each schema as a value (or a JSON text) beside the same JSON text in the
// tool's file; consecutive rows share a schema to change what the module holds.
const SERVICE = {
  $schema: 'https://json-schema.org/draft/2020-12/schema',
  type: 'object',
  properties: {
    host: { type: 'string' },
    port: { type: 'integer', maximum: 65535 },
    mode: { enum: ['fast', 'safe'] },
    when: { format: 'date' },
    tags: { type: 'array', items: { type: 'string' }, uniqueItems: true },
  },
  dependentRequired: { port: ['host'] },
  unevaluatedProperties: false,
};
const EXCLUSIVE = { properties: { a: { maximum: 1, exclusiveMaximum: true } } };
const schemaRows = [
  { schema: SERVICE, texts: ['host=a\nport=80\n', 'port=070000\nmode=fsat\n', 'host=a\nwhen=tomorrow\ntags={a,a}\nother=1\n',
    'host=a\nport=007\nport=8\n', 'a=1\nb={x\n', 'a\0b=1\n'] },
  { schema: Buffer.from(JSON.stringify(SERVICE)), texts: ['port=8\nother=1\n'] },
  { schema: EXCLUSIVE, draft: '4', texts: ['a=1\n', 'a=0.5\n'] },
  { schema: EXCLUSIVE, texts: ['a=1\n'] },
  { schema: EXCLUSIVE, draft: 4, texts: ['a=2\n'] },
  // The drafts' meta-schemas are built in; a schema given under $defs with its $id is used.
  { schema: { properties: { s: { $ref: 'https://json-schema.org/draft/2020-12/schema' } } }, texts: ['s={type=int\n}\n'] },
  { schema: { $schema: SERVICE.$schema, $ref: 'https://example.com/p.json',
    $defs: { p: { $id: 'https://example.com/p.json', maxProperties: 1 } } }, texts: ['a=1\n', 'a=1\nb=2\n'] },
  { schema: '{"type": ', texts: ['a=1\n'] },
  { schema: { type: 'int' }, texts: ['a=1\n'] },
  { schema: null, texts: ['a=1\n'] },
  { schema: { properties: { p: { pattern: '^a*$' } } }, texts: [`p=${'a'.repeat(30000)}\n`, `p=${'a'.repeat(30000)}b\n`] },
];
// And the vendored suite's schemas, over each of its objects that a kessa text gives; but for
// Unicode properties in patterns, which the module's engine refuses (below).
for (const name of ['properties', 'patternProperties', 'dependentRequired', 'unevaluatedProperties']) {
  const file = new URL(`../schema/suite/draft2020-12/${name}.json`, import.meta.url);
  for (const group of JSON.parse(readFileSync(file, 'utf8'))) {
    if (JSON.stringify(group.schema).includes('\\\\p{')) continue;
    const texts = group.tests.flatMap(({ data }) => {
      try {
        return data !== null && typeof data === 'object' && !Array.isArray(data) ? [kessa.stringify(data)] : [];
      } catch {
        return [];
      }
    });
    if (texts.length > 0) schemaRows.push({ schema: group.schema, texts });
  }
}

test('check with a schema gives the findings, or the schema\'s fault, of kessa2json --check --schema', () => {
  for (const { schema, draft, texts } of schemaRows) {
    const json = typeof schema === 'string' || schema instanceof Uint8Array ? schema : JSON.stringify(schema);
    const expected = nativeSchemaCheck(texts, json, draft === undefined ? [] : ['--schema-draft', String(draft)]);
    texts.forEach((text, i) => {
      let found;
      try {
        found = kessa.check(text, { schema, schemaDraft: draft });
      } catch (error) {
        assert.ok(error instanceof kessa.KessaSchemaError, `${json}: ${error}`);
        assert.equal(error.file, '<schema>');
        found = { reason: error.reason, line: error.line, column: error.column };
      }
      assert.deepEqual(found, Array.isArray(expected) ? expected[i] : expected, `${json} ${JSON.stringify(text).slice(0, 80)}`);
    });
  }
});

test('check with a schema: what the module cannot follow or run', () => {
  const refused = (schema, words) => assert.throws(() => kessa.check('a=1\n', { schema }), (error) =>
    error instanceof kessa.KessaSchemaError && words.test(error.message));
  refused({ properties: { a: { $ref: 'https://example.com/a.json' } } },
    /^<schema>:1:28: the \$ref "https:\/\/example.com\/a.json" names .*, which cannot be fetched: the package fetches nothing/);
  refused({ $ref: 'a.json' }, /^<schema>:1:9: .*, which cannot be read: this build of kessa2json reads no files$/);
  for (const schema of [{ a: undefined }, { maximum: NaN }, { enum: [1n] }]) {
    assert.throws(() => kessa.check('a=1\n', { schema }), { name: 'TypeError', message: /the schema is not JSON data/ });
  }
  assert.throws(() => kessa.check('a=1\n', { schema: {}, schemaDraft: '5' }),
    { name: 'RangeError', message: 'kessa2json: unknown draft "5"; the drafts are 4, 6, 7, 2019-09 and 2020-12' });
  // Strings the standard library's engine cannot run a pattern on: longer than its bound on the
  // steps holds for, or where it would backtrack too long.
  const pattern = (p) => ({ properties: { p: { pattern: p } } });
  assert.throws(() => kessa.check(`p=${'a'.repeat(1 << 19)}\n`, { schema: pattern('^a*$') }),
    /the pattern "\^a\*\$" cannot be run here on a string of 524288 bytes: .* at most 524287 bytes$/);
  assert.throws(() => kessa.check(`p=${'a'.repeat(1000)}\n`, { schema: pattern('(a+)+b') }), /backtrack too long/);
  refused(pattern('^\\p{L}$'), /cannot be run here: this build's engine takes no Unicode properties/);
  assert.deepEqual(kessa.check('p=a\n', { schema: pattern('^a*$') }), []);
});

test('strings and bytes, and what is not UTF-8', () => {
  const text = 'név="é ü"\nemoji=😀\n';
  assert.equal(kessa.convert(text), kessa.convert(Buffer.from(text)));
  assert.deepEqual(kessa.parse(text), { név: 'é ü', emoji: '😀' });
  assert.deepEqual(kessa.parse('a=1\nb={x=2.50}\nc=1e999\n'), { a: 1, b: { x: 2.5 }, c: Infinity });
  assert.deepEqual(kessa.parse('a=1\n', (key, value) => (key === 'a' ? value + 1 : value)), { a: 2 });
  // Control bytes the JSON keeps raw, which JSON.parse alone refuses.
  assert.deepEqual(kessa.parse('a=x\u0001y\nb={"\u001f\u0000",\u0008}\n'), { a: 'x\u0001y', b: ['\u001f\u0000', '\u0008'] });
  // A lone surrogate becomes U+FFFD, as in any UTF-8 encoding of the string.
  assert.equal(kessa.convert('a=\uD800\n'), '{\n    "a": "\uFFFD"\n}');
  // Bytes that are not UTF-8 stay as they are in the JSON: only convertBytes can give them.
  const latin1 = Buffer.from('a=caf\xE9\n', 'latin1');
  assert.deepEqual(Buffer.from(kessa.convertBytes(latin1)), Buffer.from('{\n    "a": "caf\xE9"\n}', 'latin1'));
  assert.throws(() => kessa.convert(latin1), { name: 'TypeError', message: /convertBytes/ });
  assert.deepEqual(kessa.check(latin1).map((finding) => finding.code), ['not-utf8']);
  for (const wrong of [undefined, 42, ['a=1\n'], new Uint16Array(2)]) {
    assert.throws(() => kessa.convert(wrong), TypeError);
  }
  // An empty text is the empty object; a failure leaves the next call unharmed.
  assert.equal(kessa.convert(''), '{}');
  assert.throws(() => kessa.convert('}\n'), kessa.KessaSyntaxError);
  assert.equal(kessa.convert('a=1\n'), '{\n    "a": 1\n}');
});

test('large texts grow the memory, and small ones after them work as before', () => {
  const line = 'key=value with some words,1.5\n';
  const text = `list={\n${line.repeat(400000)}}\n`.replace(/key=/g, '');
  const json = kessa.convert(text);
  assert.equal(json.length, native(Buffer.from(text)).json.length);
  assert.equal(kessa.convert('a=1\n'), '{\n    "a": 1\n}');
  assert.equal(kessa.check(text).length, 0);
});

test('init and initSync load once; the browser entry loads over HTTP', async () => {
  await kessa.init();
  await kessa.init();
  kessa.initSync();
  const wasm = readFileSync(join(project, 'node_modules', 'kessa2json', 'kessa.wasm'));
  const server = createServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'application/wasm' });
    response.end(wasm);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  try {
    // A copy of the browser entry and the core, loaded afresh as a page would load them.
    const copy = mkdtempSync(join(tmpdir(), 'kessa-browser-'));
    for (const file of ['browser.mjs', 'kessa.mjs']) {
      copyFileSync(join(project, 'node_modules', 'kessa2json', file), join(copy, file));
    }
    const browser = await import(pathToFileURL(join(copy, 'browser.mjs')));
    const core = await import(pathToFileURL(join(copy, 'kessa.mjs')));
    rmSync(copy, { recursive: true, force: true });
    assert.throws(() => browser.convert('a=1\n'), /init/);
    const url = `http://127.0.0.1:${server.address().port}/kessa.wasm`;
    await Promise.all([browser.init(url), browser.init(url)]);
    // An empty text as the first of a module's calls.
    assert.deepEqual(browser.convertBytes(new Uint8Array()), new TextEncoder().encode('{}'));
    assert.equal(browser.convert('a=1\n'), kessa.convert('a=1\n'));
    // A JSON longer than a string can be is told as that, not as bytes that are not UTF-8.
    core.configure({
      url: () => url,
      decode: () => {
        throw Object.assign(new Error('Cannot create a string longer than 0x1fffffe8 characters'), { code: 'ERR_STRING_TOO_LONG' });
      },
    });
    assert.throws(() => browser.convert('a=1\n'), { name: 'RangeError', message: /longer than a string can be; convertBytes/ });
  } finally {
    server.close();
  }
});

test('the inline entry carries the module: the same calls with no file beside it', async () => {
  const installed = join(project, 'node_modules', 'kessa2json');
  assert.equal(createRequire(join(project, 'entry.cjs')).resolve('kessa2json/inline'), join(installed, 'inline.mjs'));
  // A copy of the entry and the core alone, loaded afresh: no kessa.wasm to read or fetch.
  const copy = mkdtempSync(join(tmpdir(), 'kessa-inline-'));
  for (const file of ['inline.mjs', 'kessa.mjs']) copyFileSync(join(installed, file), join(copy, file));
  const inline = await import(pathToFileURL(join(copy, 'inline.mjs')));
  rmSync(copy, { recursive: true, force: true });
  assert.deepEqual(Object.keys(inline).sort(), Object.keys(kessa).sort());
  // The first call loads the module by itself, as Node's entry does.
  assert.equal(inline.convert('a={1,2}\n'), kessa.convert('a={1,2}\n'));
  await inline.init();
  inline.initSync();
  assert.deepEqual(inline.check('port=08080\nlimits={}\n'), kessa.check('port=08080\nlimits={}\n'));
});

const tsc = join(new URL('.', import.meta.url).pathname, 'node_modules', 'typescript', 'bin', 'tsc');
test('the type declarations describe the package, as ES module and as CommonJS',
  { skip: !existsSync(tsc) && 'typescript is not installed (npm ci in tests/js)' }, () => {
    // usage.mts and usage.cts use every declaration; a wrong or missing one fails to compile.
    execFileSync(process.execPath, [tsc, '-p', join(project, 'tsconfig.json')], { stdio: 'inherit' });
  });
