// The native tool, as the yardstick of the package's tests: what it writes for a text, and its
// findings as its JSON report gives them.

import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
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

/** The rows of the C++ tests' shared tables, each text as bytes. */
export function cases() {
  const rows = JSON.parse(execFileSync(process.env.KESSA_CASES, { encoding: 'utf8', maxBuffer: 1 << 26 }));
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
