// The native tool and library, as the yardstick of the package's tests: what the tool writes for a
// text, its findings as its JSON report gives them, and what the library's formatter writes; and
// a seeded generator the tests share.

import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const tool = process.env.KESSA2JSON;

/** For the bytes `text`: { json: the output's bytes, or null for a malformed text; items }. */
export function native(text) {
  const dir = mkdtempSync(join(tmpdir(), 'kessa-native-'));
  try {
    const input = join(dir, 'in.kessa');
    const output = join(dir, 'out.json');
    writeFileSync(input, text);
    const converted = spawnSync(tool, [input, output], { stdio: 'ignore' });
    const checked = spawnSync(tool, ['--check', '--format', 'json', input],
      { encoding: 'utf8', maxBuffer: 1 << 30 });
    if (![0, 2, 3].includes(checked.status)) {
      throw new Error(`kessa2json --check failed: ${checked.error ?? checked.stderr}`);
    }
    return {
      json: converted.status === 0 ? readFileSync(output) : null,
      items: JSON.parse(checked.stdout).files[0].findings,
    };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

/**
 * What `kessa2json --check --format json --schema FILE ARGS` says of each of the texts, with the
 * JSON text `schema` in FILE: the findings of each, or { reason, line, column } of the schema's
 * failure as the tool words it.
 */
export function nativeSchemaCheck(texts, schema, args = []) {
  const dir = mkdtempSync(join(tmpdir(), 'kessa-schema-'));
  try {
    const inputs = texts.map((text, i) => join(dir, `${i}.kessa`));
    texts.forEach((text, i) => writeFileSync(inputs[i], text));
    writeFileSync(join(dir, 'schema.json'), schema);
    const checked = spawnSync(tool, ['--check', '--format', 'json', '--schema', join(dir, 'schema.json'),
      ...args, ...inputs], { encoding: 'utf8', maxBuffer: 1 << 30 });
    if (!checked.stdout) {
      const [, line = null, column = null, reason] = checked.stderr.match(/^kessa2json: [^:]*(?::(\d+):(\d+))?: (.*)\n/);
      return { reason, line: line && Number(line), column: column && Number(column) };
    }
    const files = JSON.parse(checked.stdout).files;
    return inputs.map((input) => files.find((file) => file.file === input).findings);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

/** The rows of the C++ tests' shared tables, by kessa_cases_dump, each text as bytes. */
export function cases() {
  const rows = JSON.parse(execFileSync(process.env.KESSA_CASES_DUMP, { encoding: 'utf8', maxBuffer: 1 << 26 }));
  const bytes = (text) => Buffer.from(text, 'latin1');
  return {
    accepted: rows.accepted.map((row) => ({ input: bytes(row.input), json: bytes(row.json) })),
    rejected: rows.rejected.map(bytes),
    faults: rows.faults.map((row) => ({ ...row, input: bytes(row.input) })),
    findings: rows.findings.map((row) => ({ ...row, input: bytes(row.input) })),
    words: rows.words.map((row) => ({ ...row, input: bytes(row.input) })),
    tokens: rows.tokens.map((row) => ({ token: bytes(row.token), json: bytes(row.json) })),
  };
}

/**
 * What the library's formatter makes of each text in the layout `indent` (a number of spaces, or
 * 'tab'), by kessa_cases_dump --format: for each text, its bytes, or { offset, words } of the
 * fault of a malformed one.
 */
export function formatted(texts, indent) {
  const dir = mkdtempSync(join(tmpdir(), 'kessa-format-'));
  try {
    mkdirSync(join(dir, 'in'));
    mkdirSync(join(dir, 'out'));
    texts.forEach((text, i) => writeFileSync(join(dir, 'in', String(i)), text));
    execFileSync(process.env.KESSA_CASES_DUMP, ['--format', String(indent), join(dir, 'in'), join(dir, 'out')]);
    return texts.map((text, i) => {
      const fault = join(dir, 'out', `${i}.malformed`);
      if (!existsSync(fault)) return readFileSync(join(dir, 'out', String(i)));
      const [, offset, words] = readFileSync(fault, 'utf8').match(/^(\d+) ([\s\S]*)$/);
      return { offset: Number(offset), words };
    });
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

/** A seeded generator of 32-bit words (mulberry32), for inputs the same on every run. */
export function random(seed) {
  return () => {
    seed = (seed + 0x6D2B79F5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return (t ^ (t >>> 14)) >>> 0;
  };
}

/**
 * A text of numbers of every class, for the float conversions of the WebAssembly builds: every
 * value of the typing table (`table`, from cases()), and generated doubles of every magnitude as
 * shortest, long, exponent and hexadecimal numerals, and ties halfway between two doubles or two
 * six-decimal values.
 */
export function numbersText(table) {
  const lines = [];
  for (const row of table.tokens) {
    const token = row.token.toString('latin1');
    if (!/["\n\r{},=]/.test(token)) lines.push(`v=${token}`);
    if (!token.includes('"')) lines.push(`q="${token}"`);
  }
  const next = random(42);
  const view = new DataView(new ArrayBuffer(8));
  for (let i = 0; i < 4000; ++i) {
    view.setUint32(0, next());
    view.setUint32(4, next());
    if (i % 2 === 0) view.setUint16(0, (view.getUint16(0) & 0x800F) | ((0x3F0 + (next() % 0x90)) << 4));
    const value = view.getFloat64(0);
    if (!Number.isFinite(value)) continue;
    lines.push(`s=${value}`, `p=${value.toPrecision(1 + (next() % 21))}`, `e=${value.toExponential()}`);
    const bits = view.getBigUint64(0) & ((1n << 52n) - 1n);
    const exponent = Number((view.getBigUint64(0) >> 52n) & 0x7FFn) - 1023;
    lines.push(`h=0x1.${bits.toString(16).padStart(13, '0')}8p${exponent}`);
    lines.push(`t=${(2 * (next() % 0x100000) + 1) / 128}`);
  }
  return Buffer.from(`${lines.join('\n')}\n`, 'latin1');
}
