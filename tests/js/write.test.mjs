// The package's writing side as a user installs it: format() held to the library's formatter over
// the C++ tables' texts and the fuzz corpus in three layouts, and stringify() held to parse() over
// generated values, each refusal at the path it names; then each reason, each value that is not
// JSON data and each argument, as rows.
//
//   KESSA_PROJECT=scratch KESSA_CASES_DUMP=kessa_cases_dump
//   [KESSA_CORPUS=fuzz/corpus] node --test tests/js/write.test.mjs

import assert from 'node:assert/strict';
import { existsSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { test } from 'node:test';
import { cases, formatted, random } from './native.mjs';

const kessa = await import(pathToFileURL(join(process.env.KESSA_PROJECT, 'entry.mjs')));

function projectTexts() {
  const rows = cases();
  const texts = [...rows.accepted.map((row) => row.input), ...rows.rejected];
  for (const corpus of ['convert', 'parse']) {
    const dir = process.env.KESSA_CORPUS && join(process.env.KESSA_CORPUS, corpus);
    if (!dir || !existsSync(dir)) continue;
    for (const name of readdirSync(dir)) {
      if (statSync(join(dir, name)).isFile()) texts.push(readFileSync(join(dir, name)));
    }
  }
  return texts;
}

test('format() gives the library\'s formatter\'s bytes, and its faults as convert() does', () => {
  const texts = projectTexts();
  for (const [indent, argument] of [[4, 4], [2, 2], ['\t', 'tab']]) {
    const expected = formatted(texts, argument);
    let malformed = 0;
    texts.forEach((text, i) => {
      const label = `${JSON.stringify(text.toString('latin1'))} indented ${argument}`;
      if (!Buffer.isBuffer(expected[i])) {
        ++malformed;
        assert.throws(() => kessa.format(text, { indent }), (error) => {
          assert.ok(error instanceof kessa.KessaSyntaxError, label);
          assert.equal(error.offset, expected[i].offset, label);
          assert.ok(error.message.startsWith(expected[i].words), label);
          return true;
        });
        return;
      }
      const bytes = kessa.format(new Uint8Array(text), { indent });
      assert.ok(bytes instanceof Uint8Array, label);
      assert.deepEqual(Buffer.from(bytes), expected[i], label);
      // A string in, a string out, where the text is one.
      const string = text.toString('utf8');
      if (Buffer.from(string).equals(text)) assert.equal(kessa.format(string, { indent }), expected[i].toString(), label);
    });
    assert.ok(malformed > 10 && malformed < texts.length / 2, `${malformed} of ${texts.length}`);
  }
});

// ---- stringify() over generated values

const WORDS = ['', 'a', 'red', 'dark blue', '007', '1e3', ' 12', '1.10', 'a,b', 'x\ty', 'a\tb,c', 'say "hi"',
  '"q', 'a "b", c', '{', '}', '=', 'a=b', 'l1\nl2', 'cr\r', ' lead', 'trail ', 'café', '🙂', '\u0000', '\u0001',
  '\ufeffbom', '\ud800', 'x\udfff', '-', '+', '.', '0x1F', 'nan', 'Infinity', 'true', 'null', '1,2}', '0', '-0'];
const NUMBERS = [0, -0, 1.5, -2.25, 0.1 + 0.2, 5e-7, 1e-7, 1e21, 2 ** 53 + 2, 2 ** 63, 2 ** 64, -(2 ** 63),
  Number.MAX_VALUE, Number.MIN_VALUE, Infinity, -Infinity, NaN, 123456789.123456, 999999999.9999995];

/** A value of every JSON type from `next`, mostly ones that have a kessa text. */
function generate(next, depth = 0) {
  const pick = (list) => list[next() % list.length];
  const word = () => {
    let text = 'w';
    for (let i = next() % 8; i > 0; --i) text += pick(['a', 'b', 'z', '_', '-', '/', ':', 'é', '🙂', ' x']);
    return text;
  };
  const roll = next() % 100;
  if (depth < 4 && roll < 25) {
    const size = next() % 5;
    if (roll < 10) return Array.from({ length: size }, () => generate(next, depth + 1));
    const object = {};
    for (let i = 0; i < size; ++i) object[next() % 16 === 0 ? pick(WORDS) : word()] = generate(next, depth + 1);
    return object;
  }
  if (roll < 50) return word();
  if (roll < 70) return (next() % 2000001) - 1000000;
  if (roll < 88) return ((next() % 2000000001) - 1000000000) / 1000;
  if (roll < 92) return pick(WORDS);
  if (roll < 95) {
    const view = new DataView(new ArrayBuffer(8));
    view.setUint32(0, next());
    view.setUint32(4, next());
    return next() % 2 ? view.getFloat64(0) : pick(NUMBERS);
  }
  return pick([true, false, null, 2 ** 60, -0]);
}

/** The entry of `value` at `path`, taking toJSON() as stringify() does. */
function at(value, path) {
  let node = value;
  for (const step of path) node = node[step];
  return node;
}

const STRING_REASONS = ['numeral-string', 'tab-needs-quotes', 'quote-needs-quotes', 'lone-surrogate'];

test('what stringify() writes, parse() gives back deep-equal; what it refuses is where it says', () => {
  const next = random(20261210);
  const counts = { written: 0, refused: 0 };
  for (let i = 0; i < 3000; ++i) {
    const value = next() % 10 === 0 ? generate(next) : Object.fromEntries(
      Array.from({ length: next() % 6 }, () => [`k${next() % 50}`, generate(next)]));
    let text;
    try {
      text = kessa.stringify(value, { indent: [4, 1, '\t'][i % 3] });
    } catch (error) {
      assert.ok(error instanceof kessa.KessaEncodeError, String(error));
      const found = at(value, error.path);
      const label = `${error.message} in ${JSON.stringify(value)}`;
      const step = error.path.at(-1);
      if (error.code === 'root-not-object') {
        assert.ok(error.path.length === 0 && (typeof value !== 'object' || Array.isArray(value) || value === null), label);
      } else if (error.code === 'unwritable-key' || (error.code === 'lone-surrogate' && typeof found !== 'string')) {
        assert.ok(typeof step === 'string' && !Array.isArray(at(value, error.path.slice(0, -1))), label);
      } else {
        const kind = { 'no-boolean': 'boolean', 'no-null': 'object', 'float-digits': 'number', 'not-a-number': 'number' };
        assert.equal(typeof found, kind[error.code] ?? (STRING_REASONS.includes(error.code) ? 'string' : '?'), label);
        if (error.code === 'float-digits') assert.notEqual(Number(found.toFixed(6)), found, label);
        if (error.code === 'not-a-number') assert.ok(Number.isNaN(found), label);
      }
      counts.refused += 1;
      continue;
    }
    assert.deepStrictEqual(kessa.parse(text), value, text);
    assert.equal(kessa.format(text, { indent: [4, 1, '\t'][i % 3] }), text);
    counts.written += 1;
  }
  assert.ok(counts.written > 1500 && counts.refused > 300, JSON.stringify(counts));
});

// Each value with the kessa text stringify() writes for it, and what parse() gives back where it is
// not the value itself.
const WRITTEN = [
  [{}, ''],
  [{ a: 1, b: -0, c: Infinity, d: -Infinity, e: 1.5, f: 2 ** 64 },
    'a=1\nb=-0.0000001\nc=1e999\nd=-1e999\ne=1.5\nf=18446744073709551616.0\n'],
  [{ s: '', t: 'dark blue', u: 'a,b', v: '"x', w: 'l1\nl2' }, 's=""\nt=dark blue\nu="a,b"\nv= "x\nw="l1\nl2"\n'],
  [{ e: {}, l: [], n: [1, [2, 3], { x: 'y' }] }, 'e={=}\nl={}\nn={1\n    ,{2,3}\n    ,{\n        x=y\n    }\n}\n'],
  // As JSON.stringify takes them: toJSON(), and String and Number objects.
  [{ when: new Date(0), s: new String('x'), n: new Number(2) }, 'when=1970-01-01T00:00:00.000Z\ns=x\nn=2\n',
    { when: '1970-01-01T00:00:00.000Z', s: 'x', n: 2 }],
  [{ 2: 'b', 1: 'a', k: 'c' }, '1=a\n2=b\nk=c\n'],
];

test('values of each kind as stringify() writes them', () => {
  for (const [value, text, back = value] of WRITTEN) {
    assert.equal(kessa.stringify(value), text, JSON.stringify(value));
    assert.deepStrictEqual(kessa.parse(text), back, text);
  }
});

// Each value no kessa text gives, with its reason and path.
const REFUSED = [
  [{ a: true }, 'no-boolean', ['a']],
  [{ a: [1, false] }, 'no-boolean', ['a', 1]],
  [{ db: { port: null } }, 'no-null', ['db', 'port']],
  [{ zip: '007' }, 'numeral-string', ['zip']],
  [{ t: 'a,\tb' }, 'tab-needs-quotes', ['t']],
  [{ q: 'say "hi", ok' }, 'quote-needs-quotes', ['q']],
  [{ 'a=b': 1 }, 'unwritable-key', ['a=b']],
  [{ x: { ' k': 1 } }, 'unwritable-key', ['x', ' k']],
  [{ f: 0.1 + 0.2 }, 'float-digits', ['f']],
  [{ f: -1e-7 }, 'float-digits', ['f']], // not -0.0, which reads back 0
  [{ n: NaN }, 'not-a-number', ['n']],
  [{ l: [[1, NaN]] }, 'not-a-number', ['l', 0, 1]],
  [{ s: '\ud800' }, 'lone-surrogate', ['s']],
  [{ '\udfff': 1 }, 'lone-surrogate', ['\udfff']],
  [[1], 'root-not-object', []],
  ['text', 'root-not-object', []],
  [null, 'root-not-object', []],
  // Keys that look like indices stay keys; a path follows toJSON().
  [{ 0: { 1: [true] } }, 'no-boolean', ['0', '1', 0]],
  [{ d: { toJSON: () => [1, null] } }, 'no-null', ['d', 1]],
  [{ 'a/b~c': [false] }, 'no-boolean', ['a/b~c', 0]],
  [{ '\u0000': { 'w/z': false } }, 'no-boolean', ['\u0000', 'w/z']],
  // The first in the order written.
  [{ a: [null, true] }, 'no-null', ['a', 0]],
];

test('each reason a value has no kessa text, at its path', () => {
  for (const [value, code, path] of REFUSED) {
    assert.throws(() => kessa.stringify(value), (error) => {
      assert.ok(error instanceof kessa.KessaEncodeError && error instanceof Error, code);
      assert.equal(error.name, 'KessaEncodeError');
      assert.deepEqual([error.code, error.path], [code, path]);
      const where = path.map((step) => `[${JSON.stringify(step)}]`).join('');
      assert.match(error.message, new RegExp(`^${where.replace(/[[\]\\]/g, '\\$&')}${where ? ': ' : ''}[A-Z].* \\[${code}\\]$`));
      return true;
    }, JSON.stringify(value));
  }
  assert.equal(kessa.stringify.length, 2);
  assert.throws(() => kessa.stringify({ db: { debug: true } }),
    { message: '["db"]["debug"]: JSON true and false have no kessa text: the notation has neither [no-boolean]' });
});

// Each value that JSON cannot hold, with the words of the TypeError.
const cyclic = { a: [] };
cyclic.a.push(cyclic);
const NOT_JSON = [
  [{ a: undefined }, '["a"]: undefined is not JSON data'],
  [{ a: [1, () => 1] }, '["a"][1]: a function is not JSON data'],
  [{ a: Symbol('s') }, '["a"]: a symbol is not JSON data'],
  [{ a: 1n }, '["a"]: a BigInt is not JSON data'],
  [{ m: new Map([[1, 2]]) }, '["m"]: a Map is not JSON data'],
  [{ s: new Set([1]) }, '["s"]: a Set is not JSON data'],
  [{ h: [1, , 3] }, '["h"][1]: undefined is not JSON data'], // eslint-disable-line no-sparse-arrays
  [cyclic, '["a"][0]: an object that holds itself is not JSON data'],
  [undefined, 'undefined is not JSON data'],
];

test('what JSON cannot hold is a TypeError, never dropped', () => {
  for (const [value, words] of NOT_JSON) {
    assert.throws(() => kessa.stringify(value), { name: 'TypeError', message: `kessa2json: ${words}` });
  }
  // The same object twice is no cycle.
  const shared = [1];
  assert.equal(kessa.stringify({ a: [shared, shared] }), 'a={{1}\n    ,{1}\n}\n');
});

// Each layout option with what format() and stringify() write, or the RangeError they raise.
const OPTIONS = [
  [undefined, 'a={\n    b=1\n}\n'],
  [{}, 'a={\n    b=1\n}\n'],
  [{ indent: 2 }, 'a={\n  b=1\n}\n'],
  [{ indent: 16 }, `a={\n${' '.repeat(16)}b=1\n}\n`],
  [{ indent: '\t' }, 'a={\n\tb=1\n}\n'],
  [{ indent: 0 }, RangeError],
  [{ indent: 17 }, RangeError],
  [{ indent: 2.5 }, RangeError],
  [{ indent: '  ' }, RangeError],
  [{ indent: 'tab' }, RangeError],
];

test('the indent option', () => {
  for (const [options, expected] of OPTIONS) {
    if (typeof expected === 'string') {
      assert.equal(kessa.stringify({ a: { b: 1 } }, options), expected);
      assert.equal(kessa.format('a={b=1}\n', options), expected);
    } else {
      assert.throws(() => kessa.stringify({ a: { b: 1 } }, options), { name: 'RangeError', message: /indent must be/ });
      assert.throws(() => kessa.format('a={b=1}\n', options), expected);
    }
  }
  assert.throws(() => kessa.format(42), TypeError);
});

test('nesting deeper than JSON.stringify goes', () => {
  const depth = 10000;
  let value = 1;
  for (let i = 0; i < depth; ++i) value = [value];
  assert.throws(() => JSON.stringify({ a: value }), RangeError);
  const text = kessa.stringify({ a: value }, { indent: 1 });
  assert.ok(text.startsWith(`a=${'{'.repeat(depth)}1\n`) && text.endsWith(`\n }\n}\n`), text.slice(0, 100));
  assert.equal(text.split('}').length - 1, depth);
});
