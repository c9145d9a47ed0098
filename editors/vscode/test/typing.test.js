// The grammar colours a value as a number exactly where kessa2json makes it one: generated values,
// quoted and not, at the end of a line, before a comma and before a right brace, are converted by
// the tool (KESSA2JSON, its path) and tokenized by the grammar, and the two must agree on each.
// KESSA_SEED replays a run.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { loadGrammar, tokenize } = require('./tokenize.js');

const kValues = 4000;

function random(seed) {  // mulberry32
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Mostly numerals and near-numerals, where the typing has its edges; no byte that ends a value.
function makeValue(next, quoted) {
  const pick = (list) => list[Math.floor(next() * list.length)];
  const digits = () => Array.from({ length: 1 + Math.floor(next() * 4) }, () => pick('0123456789')).join('');
  const hexDigits = () => Array.from({ length: 1 + Math.floor(next() * 3) }, () => pick('09aFx')).join('');
  const maybe = (text) => (next() < 0.5 ? text : '');
  let value;
  if (next() < 0.75) {
    const blanks = () => (next() < 0.7 ? '' : pick([' ', '\t', '  ', '\x0b', '\f', ' \t']));
    const sign = maybe(pick(['+', '-']));
    const body = next() < 0.25
      ? `0${pick('xX')}${maybe(hexDigits())}${maybe('.' + maybe(hexDigits()))}${maybe(pick('pP') + maybe(pick(['+', '-'])) + maybe(digits()))}`
      : `${digits()}${maybe('.' + maybe(digits()))}${maybe(pick('eE') + maybe(pick(['+', '-'])) + maybe(digits()))}`;
    value = blanks() + sign + body + blanks();
    // A few random bytes in random places.
    for (let edits = Math.floor(next() * 3) - 1; edits > 0; --edits) {
      const at = Math.floor(next() * (value.length + 1));
      value = value.slice(0, at) + pick('0+-.eExpa \t"z') + value.slice(at + 1);
    }
  } else {
    value = Array.from({ length: 1 + Math.floor(next() * 6) }, () => pick('019+-.exz \t"')).join('');
  }
  if (quoted) return value.replaceAll('"', '');
  // Unquoted: a double quote in front would open a quoted value, and blanks alone add nothing.
  value = value.replace(/^"+/, '');
  return /[^ \t]/.test(value) ? value : value + '1';
}

// What the tool made of each value, in document order, from its indented output.
function typesInOutput(json) {
  const types = [];
  for (let line of json.split('\n')) {
    line = line.trim().replace(/,$/, '');
    const member = line.match(/^"k\d+": (.*)$/);
    const value = member ? member[1] : line;
    if (/^[[\]{}]$/.test(value) || value === '') continue;
    types.push(value.startsWith('"') ? 'string' : /[.e]/.test(value) ? 'float' : 'integer');
  }
  return types;
}

// What the grammar makes of the characters [start, end) of a line.
function typeInGrammar(tokens, line, start, end) {
  const inside = tokens.filter((t) => t.line === line && t.start < end && t.end > start && t.text.trim());
  const scopes = inside.flatMap((t) => t.scopes);
  const numeric = scopes.filter((s) => s.startsWith('constant.numeric.'));
  if (numeric.length === 0) return 'string';
  if (scopes.some((s) => s.startsWith('string.unquoted'))) return 'a number and text at once';
  return numeric.every((s) => s.startsWith('constant.numeric.integer')) ? 'integer'
    : numeric.every((s) => s.startsWith('constant.numeric.float')) ? 'float' : 'mixed numbers';
}

test('the grammar types values as kessa2json does', async () => {
  const tool = process.env.KESSA2JSON;
  assert.ok(tool, 'KESSA2JSON names the kessa2json program');
  const seed = Number(process.env.KESSA_SEED ?? Date.now() % 1e9);
  const next = random(seed);
  const lines = [];
  const values = [];  // {text, line, start, end}, in document order
  const place = (line, text, column) => values.push({ text, line, start: column, end: column + text.length });
  const form = (text, quoted) => (quoted ? `"${text}"` : text);
  while (values.length < kValues) {
    const line = lines.length;
    const key = `k${line}=`;
    if (next() < 0.5) {
      const quoted = next() < 0.4;
      const text = form(makeValue(next, quoted), quoted);
      place(line, text, key.length);
      lines.push(key + text);
    } else {
      const [firstQuoted, secondQuoted] = [next() < 0.4, next() < 0.4];
      const first = form(makeValue(next, firstQuoted), firstQuoted);
      const second = form(makeValue(next, secondQuoted), secondQuoted);
      place(line, first, key.length + 1);
      place(line, second, key.length + 1 + first.length + 1);
      lines.push(`${key}{${first},${second}}`);
    }
  }
  const text = lines.join('\n') + '\n';
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kessa-typing-'));
  try {
    fs.writeFileSync(path.join(dir, 'in.kessa'), text);
    execFileSync(tool, [path.join(dir, 'in.kessa'), path.join(dir, 'out.json')]);
    const types = typesInOutput(fs.readFileSync(path.join(dir, 'out.json'), 'latin1'));
    assert.strictEqual(types.length, values.length, `seed ${seed}: the tool gave another count of values`);
    const tokens = tokenize(await loadGrammar(), text);
    const wrong = values
      .map((value, index) => ({ value, tool: types[index], grammar: typeInGrammar(tokens, value.line, value.start, value.end) }))
      .filter(({ tool, grammar }) => tool !== grammar)
      .map(({ value, tool, grammar }) => `${JSON.stringify(lines[value.line])}: ${JSON.stringify(value.text)} is ${tool} to the tool, ${grammar} to the grammar`);
    assert.deepStrictEqual(wrong.slice(0, 20), [], `seed ${seed} (KESSA_SEED replays it)`);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
