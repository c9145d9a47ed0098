// The npm package's convert() on a workload in Node, beside the native tool and JSON.parse +
// JSON.stringify(value, null, 4) of the same data, which write the same text:
//
//   node bench/js_convert.mjs PACKAGE_DIR TOOL WORKLOAD_PREFIX [ROUNDS]
//
// WORKLOAD_PREFIX is bench/generate's: .kessa, .json (compact) and .expected.json. The module's
// load and the first call are timed once; then each round times, in turn, the tool (a whole
// process, reading and writing files on tmpfs where there is one), convert() and the JSON pair;
// the table gives each one's median, and the ratio to the tool's taken round by round. Every
// output is checked against the expected text.

import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, tool, prefix, roundsText = '10'] = process.argv.slice(2);
if (!prefix) {
  console.error('usage: node bench/js_convert.mjs PACKAGE_DIR TOOL WORKLOAD_PREFIX [ROUNDS]');
  process.exit(1);
}
const rounds = Number(roundsText);
const text = readFileSync(`${prefix}.kessa`, 'utf8');
const compact = readFileSync(`${prefix}.json`, 'utf8');
const expected = readFileSync(`${prefix}.expected.json`, 'utf8');
const scratch = mkdtempSync(join(existsSync('/dev/shm') ? '/dev/shm' : tmpdir(), 'kessa-bench-'));

function check(name, output) {
  if (output !== expected) {
    console.error(`${name}: the output differs from the expected text`);
    process.exit(1);
  }
}

function time(work) {
  const start = process.hrtime.bigint();
  const result = work();
  return [Number(process.hrtime.bigint() - start) / 1e6, result];
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor((values.length - 1) / 2)];

try {
  const [load, kessa] = await (async () => {
    const start = process.hrtime.bigint();
    const module = await import(pathToFileURL(join(packageDir, 'node.mjs')));
    module.initSync();
    return [Number(process.hrtime.bigint() - start) / 1e6, module];
  })();
  const [first, firstOutput] = time(() => kessa.convert(text));
  check('convert (first call)', firstOutput);

  const times = { tool: [], convert: [], json: [] };
  const ratios = { convert: [], json: [] };
  const output = join(scratch, 'out.json');
  for (let round = 0; round <= rounds; ++round) { // round 0 warms up
    const [toolTime, run] = time(() => spawnSync(tool, [`${prefix}.kessa`, output], { stdio: 'ignore' }));
    if (run.status !== 0) throw new Error(`${tool} failed`);
    check('tool', readFileSync(output, 'utf8'));
    const [convertTime, converted] = time(() => kessa.convert(text));
    check('convert', converted);
    const [jsonTime, pair] = time(() => JSON.stringify(JSON.parse(compact), null, 4));
    check('JSON.parse + JSON.stringify', pair);
    if (round === 0) continue;
    times.tool.push(toolTime);
    times.convert.push(convertTime);
    times.json.push(jsonTime);
    ratios.convert.push(convertTime / toolTime);
    ratios.json.push(jsonTime / toolTime);
  }

  const megabytes = Buffer.byteLength(text) / 1e6;
  console.log(`${megabytes.toFixed(1)} MB of kessa, ${(expected.length / 1e6).toFixed(1)} MB of JSON; ` +
    `module loaded in ${load.toFixed(1)} ms, first convert() ${first.toFixed(0)} ms; median of ${rounds} rounds`);
  console.log('what                          median (ms)   MB/s   x tool');
  const row = (name, values, ratio) => console.log(
    `${name.padEnd(30)}${median(values).toFixed(0).padStart(11)}${(megabytes / median(values) * 1000).toFixed(0).padStart(7)}` +
    `${(ratio ? median(ratio) : 1).toFixed(2).padStart(9)}`);
  row('kessa2json (native tool)', times.tool);
  row('convert() later calls', times.convert, ratios.convert);
  row('JSON.parse + JSON.stringify', times.json, ratios.json);
} finally {
  rmSync(scratch, { recursive: true, force: true });
}
