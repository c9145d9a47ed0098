// The extension's client as VS Code runs it, with VS Code's API played by fake-vscode.js: activated
// from an extension folder that holds the server (KESSA_LANGUAGE_SERVER) without its executable
// bit, it starts that server through vscode-languageclient, the findings of an open document come
// back as diagnostics, "Show the JSON to the Side" shows what kessa2json (KESSA2JSON) writes, a
// save with the README's settings formats the document as the library lays it out (KESSA_FORMAT),
// and a change of kessa.server.path restarts the server.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { makeVscode, installVscode } = require('./fake-vscode.js');

const manifest = JSON.parse(fs.readFileSync(path.join(__dirname, '..', 'package.json'), 'utf8'));
const readme = fs.readFileSync(path.join(__dirname, '..', 'README.md'), 'utf8');
const { api, user } = makeVscode(manifest);
installVscode(api);
const extension = require('../extension.js');

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kessa-client-'));
const serverName = process.platform === 'win32' ? 'kessa-language-server.exe' : 'kessa-language-server';
const bundled = path.join(scratch, 'extension', 'server', serverName);
let opened = 0;

async function until(what, holds) {
  for (const deadline = Date.now() + 20000; !holds(); await new Promise((r) => setTimeout(r, 20))) {
    if (Date.now() > deadline) assert.fail(`waited 20 s for ${what}; errors shown: ${user.seen.errors.join(' | ')}`);
  }
}

function open(text) {
  return user.open(path.join(scratch, `doc${++opened}.kessa`), text);
}

/// What kessa2json writes for `text`, read as UTF-8 as VS Code shows it; null if it refuses it.
function converted(text) {
  const input = path.join(scratch, 'in.kessa');
  fs.writeFileSync(input, text);
  try {
    return execFileSync(process.env.KESSA2JSON, [input, '-'], { encoding: 'utf8', stdio: 'pipe' });
  } catch {
    return null;
  }
}

/// The layout of `text`, as the library writes it.
function layoutOf(text) {
  const input = path.join(scratch, 'layout.kessa');
  fs.writeFileSync(input, text);
  return execFileSync(process.env.KESSA_FORMAT, [input], { encoding: 'utf8' });
}

/// The settings of the JSON block of `text` (the extension's README by default) that holds
/// `name`, a whole settings.json or lines of one, as VS Code would read them.
function readmeSettings(name, text = readme) {
  const block = [...text.matchAll(/```json\n([^]*?)```/g)].map((m) => m[1]).find((lines) => lines.includes(name));
  assert.ok(block, `the README shows ${name}`);
  const settings = [];
  for (const [key, value] of Object.entries(JSON.parse(block.trim().startsWith('{') ? block : `{${block}}`))) {
    if (!key.startsWith('[')) settings.push([key, value]);
    else for (const [inner, setting] of Object.entries(value)) settings.push([`${key}.${inner}`, setting]);
  }
  return settings;
}

before(async () => {
  fs.mkdirSync(path.dirname(bundled), { recursive: true });
  fs.copyFileSync(process.env.KESSA_LANGUAGE_SERVER, bundled);
  fs.chmodSync(bundled, 0o644);  // as an archive tool may leave it
  await extension.activate({ extensionPath: path.join(scratch, 'extension'), subscriptions: [] });
});

after(async () => {
  await extension.deactivate();
  fs.rmSync(scratch, { recursive: true, force: true });
});

test('the bundled server starts, made executable first', () => {
  assert.deepStrictEqual(user.seen.errors, []);
  if (process.platform !== 'win32') assert.notStrictEqual(fs.statSync(bundled).mode & 0o111, 0);
});

test('the findings of an open document come back as diagnostics on their lines', async () => {
  const rows = [
    { text: 'name=demo\nport=8080\n', lines: [] },
    { text: 'name=demo\nzip="01234"\n', lines: [1] },
    { text: 'motd = "Hello, world"\nempty=\nx=1\n', lines: [0, 0, 1] },
    { text: 'a={\n', lines: [0] },  // malformed: the brace is never closed
  ];
  for (const row of rows) {
    const document = open(row.text);
    const uri = document.uri.toString();
    await until(`the diagnostics of ${JSON.stringify(row.text)}`, () => user.seen.diagnostics.has(uri));
    const diagnostics = user.seen.diagnostics.get(uri);
    assert.deepStrictEqual(diagnostics.map((d) => d.range.start.line), row.lines, JSON.stringify(row.text));
    for (const diagnostic of diagnostics) assert.strictEqual(diagnostic.source, 'kessa', JSON.stringify(row.text));
  }
});

test('"Show the JSON to the Side" shows the bytes kessa2json writes, beside the text', async () => {
  const rows = [
    'name=demo\nsize=3\nbox={w=10\nh=20\n}\ntags={red,"dark blue",7}\n',
    'zip="01234"\npi=3.14159265358979\nhex=0x1F\n',
    'k=caf\u00e9 \u00fcber\n',
    '',
  ];
  for (const text of rows) {
    open(text);
    const before = user.seen.shown.length;
    await user.command('kessa.showJson');
    assert.strictEqual(user.seen.shown.length, before + 1, `nothing shown for ${JSON.stringify(text)}`);
    const { document, options } = user.seen.shown.at(-1);
    assert.strictEqual(document.getText(), converted(text), JSON.stringify(text));
    assert.strictEqual(document.languageId, 'json');
    assert.strictEqual(options.viewColumn, api.ViewColumn.Beside);
  }
  assert.deepStrictEqual(user.seen.errors, []);
});

test('the JSON beside follows each edit, and keeps its last text while the text is malformed', async () => {
  const document = open('a=1\n');
  await user.command('kessa.showJson');
  const view = user.seen.shown.at(-1).document;
  const rows = [  // [line, character] as VS Code counts them, in UTF-16 units
    { from: [0, 2], to: [0, 3], text: '2,b=3' },
    { from: [0, 2], to: [0, 2], text: 'x\u00fc\u20ac\u{1d11e}' },  // 1, 1, 1 and 2 units
    { from: [0, 7], to: [0, 8], text: 'y' },  // after the astral character: the digit 2
    { from: [1, 0], to: [1, 0], text: 'c={\n' },  // malformed: the brace is never closed
    { from: [2, 0], to: [2, 0], text: 'd=4}\n' },
  ];
  let last = view.getText();
  for (const row of rows) {
    const refreshes = user.seen.refreshes;
    user.edit(document, row.from, row.to, row.text);
    await until(`the view after ${JSON.stringify(row)}`, () => user.seen.refreshes > refreshes);
    last = converted(document.getText()) ?? last;
    assert.strictEqual(view.getText(), last, `${JSON.stringify(row)} made ${JSON.stringify(document.getText())}`);
  }
  assert.match(last, /"d": 4/);
});

test('a malformed text shows no JSON but the fault and its line', async () => {
  open('a=1\nb={\n');
  const shown = user.seen.shown.length;
  await user.command('kessa.showJson');
  assert.strictEqual(user.seen.shown.length, shown);
  assert.match(user.seen.errors.pop() ?? '', /line 2/);
});

test('"Convert JSON to kessa" opens the kessa beside the JSON, or marks on the JSON what has none', async () => {
  const rows = [
    { json: '{"name": "demo", "tags": ["red", "dark blue", 7], "box": {}}', kessa: 'name=demo\ntags={red,dark blue,7}\nbox={=}\n' },
    { json: '{"on": true,\n "zip": "007"}', codes: ['no-boolean', 'numeral-string'] },
    { json: '{"a": ', codes: ['malformed'] },
  ];
  for (const row of rows) {
    const document = user.open(path.join(scratch, `doc${++opened}.json`), row.json, 'json');
    const [shown, warned] = [user.seen.shown.length, user.seen.warnings.length];
    await user.command('kessa.convertJsonToKessa');
    const uri = document.uri.toString();
    await until(`the diagnostics of ${JSON.stringify(row.json)}`, () => user.seen.diagnostics.has(uri));
    assert.deepStrictEqual(user.seen.diagnostics.get(uri).map((d) => d.code), row.codes ?? []);
    if (row.kessa === undefined) {
      assert.strictEqual(user.seen.shown.length, shown);
      assert.match(user.seen.warnings.at(-1), new RegExp(`${row.codes.length} problems?`));
      continue;
    }
    assert.strictEqual(user.seen.warnings.length, warned);
    const { document: written, options } = user.seen.shown.at(-1);
    assert.deepStrictEqual([written.getText(), written.languageId, options.viewColumn], [row.kessa, 'kessa', api.ViewColumn.Beside]);
    assert.strictEqual(converted(row.kessa), JSON.stringify(JSON.parse(row.json), null, 4));
  }
  assert.deepStrictEqual(user.seen.errors, []);
});

test('format on save, turned on as the README shows, lays the document out; Format Selection its object', async () => {
  const text = 'name= d\u00e9mo\nsrv={host=h\n  tls={on=\u{1d11e}\n}\n}\ntags={a,"\u00e9"}\n';
  const document = open(text);
  await until('the diagnostics of the document', () => user.seen.diagnostics.has(document.uri.toString()));
  assert.strictEqual(await user.save(document), false, 'formatted on save before it was turned on');
  assert.strictEqual(document.getText(), text);

  await user.formatSelection(document, [2, 6], [2, 6]);
  assert.strictEqual(document.getText(),
    'name= d\u00e9mo\nsrv={host=h\n    tls={\n        on=\u{1d11e}\n    }\n}\ntags={a,"\u00e9"}\n');

  const settings = readmeSettings('editor.formatOnSave');
  const project = fs.readFileSync(path.join(__dirname, '..', '..', '..', 'doc', 'editors.md'), 'utf8');
  assert.deepStrictEqual(readmeSettings('editor.formatOnSave', project), settings);
  for (const [key, value] of settings) user.setting(key, value);
  assert.strictEqual(await user.save(document), true, 'the default formatter is not the extension');
  assert.strictEqual(document.getText(), layoutOf(text));
  // The server holds the text the edits made: formatting it again changes nothing.
  assert.deepStrictEqual(await user.formattingEdits(document), []);

  // kessa.format.indent reaches the server, whose next formatting shows it; and back.
  for (const [indent, expected] of [
    ['2', 'name=d\u00e9mo\nsrv={\n  host=h\n  tls={\n    on=\u{1d11e}\n  }\n}\ntags={a,"\u00e9"}\n'],
    ['4', layoutOf(text)],
  ]) {
    user.setting('kessa.format.indent', indent);
    let edits = [];
    for (const deadline = Date.now() + 20000; edits.length === 0; await new Promise((r) => setTimeout(r, 20))) {
      assert.ok(Date.now() < deadline, `waited 20 s for the indentation ${indent}`);
      edits = await user.formattingEdits(document);
    }
    user.applyEdits(document, edits);
    assert.strictEqual(document.getText(), expected, `kessa.format.indent ${indent}`);
  }
  assert.deepStrictEqual(user.seen.errors, []);
});

test('kessa.server.path: a program that is not there is reported, a good one restarts the server', async () => {
  user.setting('kessa.server.path', path.join(scratch, 'no-such-server'));
  await until('the failure to start', () => user.seen.errors.some((error) => /kessa\.server\.path/.test(error)));
  const reported = user.seen.errors.find((error) => /kessa\.server\.path/.test(error));
  assert.ok(reported.includes('no-such-server') && !/undefined/.test(reported), reported);
  user.seen.errors.length = 0;

  user.setting('kessa.server.path', process.env.KESSA_LANGUAGE_SERVER);
  const document = open('restarted=1\n');
  await until('the restarted server', () => user.seen.diagnostics.has(document.uri.toString()));
  await user.command('kessa.showJson');
  assert.strictEqual(user.seen.shown.at(-1).document.getText(), converted('restarted=1\n'));
  assert.deepStrictEqual(user.seen.errors, []);
});

test('kessa.schemas reaches the server, at each change and at its start', async () => {
  const schema = path.join(scratch, 'port.schema.json');
  fs.writeFileSync(schema, JSON.stringify({ properties: { port: { type: 'integer', maximum: 100 } } }));
  const codes = (document) => (user.seen.diagnostics.get(document.uri.toString()) ?? []).map((d) => d.code);
  const checked = open('port=8080\n');
  await until('the diagnostics of the document', () => user.seen.diagnostics.has(checked.uri.toString()));
  assert.deepStrictEqual(codes(checked), []);
  user.setting('kessa.schemas', { [schema]: ['doc*.kessa'] });
  await until('the schema\'s diagnostics', () => codes(checked).includes('schema-range'));

  await user.command('kessa.restartServer');
  const reopened = open('port=101\n');
  await until('the schema\'s diagnostics after a restart', () => codes(reopened).includes('schema-range'));
  user.setting('kessa.schemas', {});
  await until('no schema\'s diagnostics', () => codes(reopened).length === 0);
  assert.deepStrictEqual(user.seen.errors, []);
});

test('the settings\' JSON schemas, which VS Code completes and checks them by', (t) => {
  const properties = manifest.contributes.configuration.properties;
  const example = Object.fromEntries(readmeSettings('kessa.schemas'))['kessa.schemas'];
  const rows = [
    { name: 'kessa.schemas', value: example, valid: true },
    { name: 'kessa.schemas', value: properties['kessa.schemas'].default, valid: true },
    { name: 'kessa.schemas', value: { 'a.json': '*.kessa', 'b.json': [] }, valid: true },
    { name: 'kessa.schemas', value: { 'a.json': 7 }, valid: false },
    { name: 'kessa.schemas', value: { 'a.json': ['*.kessa', null] }, valid: false },
    { name: 'kessa.schemas', value: ['a.json'], valid: false },
    // As the server takes it: tab, or 1 to 16 spaces.
    { name: 'kessa.format.indent', value: properties['kessa.format.indent'].default, valid: true },
    { name: 'kessa.format.indent', value: 'tab', valid: true },
    { name: 'kessa.format.indent', value: '2', valid: true },
    { name: 'kessa.format.indent', value: '16', valid: true },
    { name: 'kessa.format.indent', value: 3, valid: true },
    { name: 'kessa.format.indent', value: 0, valid: false },
    { name: 'kessa.format.indent', value: '17', valid: false },
    { name: 'kessa.format.indent', value: 17, valid: false },
    { name: 'kessa.format.indent', value: 'tabs', valid: false },
    { name: 'kessa.format.indent', value: '', valid: false },
  ];
  // Debian's python3-jsonschema, as the tests of the SARIF output use it.
  const check = `
import json, sys, jsonschema
schemas, rows = json.load(sys.stdin)
for schema in schemas.values(): jsonschema.Draft7Validator.check_schema(schema)
print(json.dumps([jsonschema.Draft7Validator(schemas[name]).is_valid(value) for name, value in rows]))`;
  let answer;
  try {
    answer = execFileSync('/usr/bin/python3', ['-c', check],
      { input: JSON.stringify([properties, rows.map((row) => [row.name, row.value])]), encoding: 'utf8', stdio: 'pipe' });
  } catch (error) {
    if (/No module named|ENOENT/.test(String(error.stderr ?? error.message))) {
      t.skip('python3-jsonschema is not installed');
      return;
    }
    throw error;
  }
  assert.deepStrictEqual(JSON.parse(answer), rows.map((row) => row.valid));
});
