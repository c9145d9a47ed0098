// kessa-language-server driven over standard input and output by the LSP client library that
// VS Code's extensions use. KESSA_LANGUAGE_SERVER names the server, KESSA2JSON the tool whose
// output kessa.convert must match byte for byte, KESSA_FORMAT the program that writes the layout
// a formatted document must have.

import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';
import lsp from 'vscode-languageserver-protocol/node.js';

const SERVER = process.env.KESSA_LANGUAGE_SERVER;
const TOOL = process.env.KESSA2JSON;
const FORMAT = process.env.KESSA_FORMAT;
const URI = 'file:///work/conf.kessa';

// Servers a failed test left running are stopped, so that the run ends.
const children = new Set();
after(() => { for (const child of children) child.kill(); });

/**
 * A started server, its connection, and the diagnostics it published, newest last. `client`
 * adds to the initialize request's params (capabilities among them); `answer` sets the client's
 * handlers of the server's requests, by method, before it starts.
 */
async function start({ initialize = true, encodings, client = {}, answer = {} } = {}) {
  const child = spawn(SERVER, ['--stdio'], { stdio: ['pipe', 'pipe', 'inherit'] });
  children.add(child);
  child.on('exit', () => children.delete(child));
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  const connection = lsp.createProtocolConnection(
    new lsp.StreamMessageReader(child.stdout), new lsp.StreamMessageWriter(child.stdin));
  const published = [];
  const waiting = [];
  connection.onNotification(lsp.PublishDiagnosticsNotification.type, (params) => {
    published.push(params);
    for (const wait of waiting.splice(0)) wait();
  });
  for (const [method, handler] of Object.entries(answer)) connection.onRequest(method, handler);
  connection.listen();
  const server = {
    connection, published, exited,
    /** The diagnostics of `version` (null: of a close), once published. */
    async diagnostics(version) {
      const deadline = Date.now() + 20000;
      for (;;) {
        const found = published.find((p) => (p.version ?? null) === version);
        if (found) return found.diagnostics;
        assert.ok(Date.now() < deadline, `no diagnostics for version ${version}`);
        await new Promise((resolve) => { waiting.push(resolve); setTimeout(resolve, 200); });
      }
    },
    /** The diagnostics published after the first `count`, once they are. */
    async after(count) {
      const deadline = Date.now() + 20000;
      while (published.length <= count) {
        assert.ok(Date.now() < deadline, `nothing published after ${count}`);
        await new Promise((resolve) => { waiting.push(resolve); setTimeout(resolve, 200); });
      }
      return published[count].diagnostics;
    },
    open(text, version = 1, uri = URI) {
      return connection.sendNotification(lsp.DidOpenTextDocumentNotification.type, {
        textDocument: { uri, languageId: 'kessa', version, text } });
    },
    change(version, contentChanges, uri = URI) {
      return connection.sendNotification(lsp.DidChangeTextDocumentNotification.type, {
        textDocument: { uri, version }, contentChanges });
    },
    async stop() {
      await connection.sendRequest(lsp.ShutdownRequest.type);
      await connection.sendNotification(lsp.ExitNotification.type);
      const code = await exited;
      connection.dispose();
      return code;
    },
  };
  if (initialize) {
    const capabilities = encodings ? { general: { positionEncodings: encodings } } : {};
    server.initialized = await connection.sendRequest(lsp.InitializeRequest.type, {
      processId: process.pid, rootUri: null, capabilities, ...client });
    await connection.sendNotification(lsp.InitializedNotification.type, {});
  }
  return server;
}

const range = (line, from, to, endLine = line) => ({
  start: { line, character: from }, end: { line: endLine, character: to } });

/** The code and range of each diagnostic. */
const shapes = (diagnostics) => diagnostics.map((d) => ({ code: d.code ?? null, range: d.range }));

/** The position of a UTF-16 offset of a string, as the protocol counts by default. */
function positionAt(text, offset) {
  const before = text.slice(0, offset).split(/\r\n|\r|\n/);
  return { line: before.length - 1, character: before[before.length - 1].length };
}
function offsetAt(text, position) {
  const lines = text.split(/(?<=\r\n|\r(?!\n)|\n)/);
  let offset = 0;
  for (let i = 0; i < position.line; i++) offset += lines[i].length;
  return offset + position.character;
}
function applyEdit(text, edit) {
  return text.slice(0, offsetAt(text, edit.range.start)) + edit.newText +
    text.slice(offsetAt(text, edit.range.end));
}

/** The edits of a reply, in order and apart, applied from the last. */
function applyEdits(text, edits) {
  return [...edits].reverse().reduce(applyEdit, text);
}

/** The layout of `text`, as the library writes it. */
function layoutOf(text) {
  const folder = mkdtempSync(join(tmpdir(), 'kessa-format-'));
  try {
    writeFileSync(join(folder, 'in.kessa'), text);
    return execFileSync(FORMAT, [join(folder, 'in.kessa')], { encoding: 'utf8' });
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

test('initialize announces what the server does', async () => {
  for (const row of [
    { encodings: undefined, encoding: 'utf-16' },
    { encodings: ['utf-16'], encoding: 'utf-16' },
    { encodings: ['utf-8', 'utf-16'], encoding: 'utf-8' },
  ]) {
    const server = await start({ encodings: row.encodings });
    assert.deepEqual(server.initialized.capabilities, {
      positionEncoding: row.encoding,
      textDocumentSync: { openClose: true, change: lsp.TextDocumentSyncKind.Incremental },
      documentSymbolProvider: true,
      hoverProvider: true,
      completionProvider: { triggerCharacters: ['=', '{', ','] },
      codeActionProvider: { codeActionKinds: ['quickfix'] },
      executeCommandProvider: { commands: ['kessa.convert', 'kessa.fromJson'] },
      documentFormattingProvider: true,
      documentRangeFormattingProvider: true,
    }, `offered ${row.encodings}`);
    assert.equal(server.initialized.serverInfo.name, 'kessa-language-server');
    assert.equal(await server.stop(), 0);
  }
});

test('diagnostics have exact ranges on lines with characters beyond ASCII', async () => {
  const rows = [
    { text: 'name=demo\nzip="01234"\n', utf16: [{ code: 'leading-zeros', range: range(1, 5, 10) }] },
    { text: 'café=crème\nzip=007\n', utf16: [{ code: 'leading-zeros', range: range(1, 4, 7) }] },
    { text: 'k=€ ✓\nv=€, "x"\n', utf16: [
      { code: 'no-key', range: range(1, 5, 8) },
      { code: 'blank-before-quote', range: range(1, 5, 8) }] },
    { text: '😀=1\n😀 = "a b"\n', utf16: [
      { code: 'repeated-key', range: range(1, 0, 2) },
      { code: 'blank-before-quote', range: range(1, 5, 10) }] },
    { text: 'motd = "Hello, wörld"\r\n', utf16: [
      { code: 'blank-before-quote', range: range(0, 7, 13) },
      { code: 'no-key', range: range(0, 15, 21) }] },
    // A carriage return alone ends a line for editors, not for the notation.
    { text: 'a="x\ry"\nb=0x1F\n', utf16: [
      { code: 'carriage-return-in-quotes',
        range: { start: { line: 0, character: 3 }, end: { line: 1, character: 1 } } },
      { code: 'hexadecimal', range: range(2, 2, 6) }] },
    { text: 'a=1\nb={\n', utf16: [{ code: 'malformed', range: range(1, 2, 3) }] },
  ];
  for (const encodings of [undefined, ['utf-8']]) {
    const server = await start({ encodings });
    let version = 0;
    for (const row of rows) {
      version += 1;
      if (version === 1) await server.open(row.text, 1);
      else await server.change(version, [{ text: row.text }]);
      const expected = encodings ? row.utf16.map((d) => ({
        code: d.code,
        range: {
          start: { line: d.range.start.line, character: utf8Column(row.text, d.range.start) },
          end: { line: d.range.end.line, character: utf8Column(row.text, d.range.end) },
        },
      })) : row.utf16;
      const diagnostics = await server.diagnostics(version);
      assert.deepEqual(shapes(diagnostics), expected, JSON.stringify(row.text));
      for (const d of diagnostics) {
        assert.equal(d.source, 'kessa');
        assert.ok([1, 2, 3].includes(d.severity));
        assert.ok(d.message.length > 0);
      }
    }
    assert.equal(await server.stop(), 0);
  }
});

/** The UTF-8 column of a UTF-16 position of `text`. */
function utf8Column(text, position) {
  const line = text.split(/\r\n|\r|\n/)[position.line];
  return Buffer.byteLength(line.slice(0, position.character));
}

test('incremental edits are applied to the text held', async () => {
  const rows = [
    { text: 'a=1\n', changes: [{ range: range(0, 2, 3), text: '01' }],
      expected: [{ code: 'leading-zeros', range: range(0, 2, 4) }] },
    { text: 'é=1\n€=2\n', changes: [{ range: range(1, 2, 2), text: '+' }],
      expected: [{ code: 'plus-sign', range: range(1, 2, 4) }] },
    { text: '😀=1\n', changes: [{ range: range(0, 3, 4), text: '00' }],
      expected: [{ code: 'leading-zeros', range: range(0, 3, 5) }] },
    { text: 'a=1\nb=2\n', changes: [{ range: range(0, 3, 0, 1), text: '' },
      { range: range(0, 0, 1), text: 'b' }],
      expected: [{ code: 'key-replaced', range: range(0, 0, 1) }] },
    { text: 'a=1\n', changes: [{ range: range(0, 3, 3), text: '\na=2' }],
      expected: [{ code: 'repeated-key', range: range(1, 0, 1) }] },
    { text: 'x=1\n', changes: [{ text: 'y=007\n' }, { range: range(0, 0, 1), text: 'z' }],
      expected: [{ code: 'leading-zeros', range: range(0, 2, 5) }] },
  ];
  const server = await start();
  let version = 0;
  for (const row of rows) {
    version += 1;
    if (version === 1) await server.open(row.text, version);
    else await server.change(version, [{ text: row.text }]);
    version += 1;
    await server.change(version, row.changes);
    assert.deepEqual(shapes(await server.diagnostics(version)), row.expected,
      JSON.stringify(row));
  }
  assert.equal(await server.stop(), 0);
});

test('document symbols, hovers and the JSON of a document', async () => {
  const text = 'name=démo\nserver={ports={80,"0443"}\nhost=local}\n';
  const server = await start();
  await server.open(text);
  const symbols = await server.connection.sendRequest(lsp.DocumentSymbolRequest.type,
    { textDocument: { uri: URI } });
  const outline = (list) => list.map((s) => [s.name, s.kind, ...(s.children ? [outline(s.children)] : [])]);
  const K = lsp.SymbolKind;
  assert.deepEqual(outline(symbols), [
    ['name', K.String],
    ['server', K.Object, [['ports', K.Array, [['[0]', K.Number], ['[1]', K.Number]]],
      ['host', K.String]]],
  ]);
  assert.deepEqual(symbols[1].range, range(1, 0, 11, 2));
  assert.deepEqual(symbols[1].selectionRange, range(1, 0, 6));
  for (const row of [
    { at: { line: 0, character: 6 }, hover: '"démo" (string)', range: range(0, 5, 9) },
    { at: { line: 1, character: 9 }, hover: 'server.ports', range: range(1, 8, 13) },
    { at: { line: 1, character: 20 }, hover: '443 (integer): the leading zeros of "0443" are ' +
      'dropped, quoted or not: it becomes 443 and cannot stay text', range: range(1, 18, 24) },
    { at: { line: 2, character: 1 }, hover: 'server.host', range: range(2, 0, 4) },
    { at: { line: 1, character: 6 }, hover: null },
  ]) {
    const hover = await server.connection.sendRequest(lsp.HoverRequest.type,
      { textDocument: { uri: URI }, position: row.at });
    assert.deepEqual(hover && { text: hover.contents.value, range: hover.range },
      row.hover && { text: row.hover, range: row.range }, JSON.stringify(row.at));
  }
  const json = await server.connection.sendRequest(lsp.ExecuteCommandRequest.type,
    { command: 'kessa.convert', arguments: [URI] });
  const folder = mkdtempSync(join(tmpdir(), 'kessa-lsp-'));
  try {
    writeFileSync(join(folder, 'in.kessa'), text);
    execFileSync(TOOL, [join(folder, 'in.kessa'), join(folder, 'out.json')]);
    assert.equal(json, execFileSync('cat', [join(folder, 'out.json')]).toString());
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
  assert.equal(await server.stop(), 0);
});

test('each quick fix, applied, makes its finding go', async () => {
  const rows = [
    { text: 'motd = "Hello, world"\nport=1\n', code: 'blank-before-quote',
      fixed: 'motd ="Hello, world"\nport=1\n' },
    { text: 'é=1\nempty=\nx=1\n', code: 'key-replaced', fixed: 'é=1\nempty=""\nx=1\n' },
    { text: '\ufeffname=demo\n', code: 'byte-order-mark', fixed: 'name=demo\n' },
    { text: 'ports={\n80\n443\n}\n', code: 'joined-lines', fixed: 'ports={\n80,\n443\n}\n' },
    { text: 'g=Hi {you}, 😀\n', code: 'discarded-text', fixed: 'g="Hi {you}, 😀"\n' },
  ];
  const server = await start();
  let version = 1;
  await server.open('', version);
  for (const row of rows) {
    await server.change(++version, [{ text: row.text }]);
    const diagnostics = await server.diagnostics(version);
    const diagnostic = diagnostics.find((d) => d.code === row.code);
    assert.ok(diagnostic, `${row.code} in ${JSON.stringify(row.text)}`);
    const actions = await server.connection.sendRequest(lsp.CodeActionRequest.type, {
      textDocument: { uri: URI }, range: diagnostic.range, context: { diagnostics: [diagnostic] } });
    const action = actions.find((a) => a.diagnostics[0].code === row.code);
    assert.ok(action, `a fix for ${row.code}`);
    assert.equal(action.kind, 'quickfix');
    const [edit] = action.edit.changes[URI];
    assert.equal(applyEdit(row.text, edit), row.fixed);
    // The edit as an editor sends it, and the finding is gone.
    await server.change(++version, [{ range: edit.range, text: edit.newText }]);
    const after = await server.diagnostics(version);
    assert.ok(!after.some((d) => d.code === row.code), JSON.stringify(after));
    const json = await server.connection.sendRequest(lsp.ExecuteCommandRequest.type,
      { command: 'kessa.convert', arguments: [{ uri: URI }] });
    assert.ok(json.startsWith('{'));
  }
  assert.equal(await server.stop(), 0);
});

test('errors, cancellation and the exit status', async () => {
  const early = await start({ initialize: false });
  await assert.rejects(early.connection.sendRequest(lsp.HoverRequest.type,
    { textDocument: { uri: URI }, position: { line: 0, character: 0 } }),
    { code: lsp.ErrorCodes.ServerNotInitialized });
  early.connection.sendNotification(lsp.ExitNotification.type);
  assert.equal(await early.exited, 1);

  const server = await start();
  const rows = [
    { method: 'kessa/unknown', params: {}, code: lsp.ErrorCodes.MethodNotFound },
    { method: 'textDocument/hover', params: { textDocument: { uri: URI } },
      code: lsp.ErrorCodes.InvalidParams },
    { method: 'textDocument/documentSymbol', params: { textDocument: { uri: 'file:///none' } },
      code: lsp.ErrorCodes.InvalidParams },
    { method: 'workspace/executeCommand', params: { command: 'kessa.other' },
      code: lsp.ErrorCodes.InvalidParams },
    { method: 'initialize', params: { capabilities: {} }, code: lsp.ErrorCodes.InvalidRequest },
  ];
  for (const row of rows) {
    await assert.rejects(server.connection.sendRequest(row.method, row.params), { code: row.code },
      row.method);
  }
  // Unknown notifications are ignored, and the server still answers.
  await server.connection.sendNotification('kessa/unknown', {});
  await server.open('a=1\nb={\n');
  await assert.rejects(server.connection.sendRequest(lsp.ExecuteCommandRequest.type,
    { command: 'kessa.convert', arguments: [URI] }),
    { code: lsp.LSPErrorCodes.RequestFailed, message: 'line 2: this left brace is never closed' });
  // A request cancelled while queued behind a slow one is answered as cancelled.
  await server.change(2, [{ text: 'a=1\n'.repeat(200000) }]);
  const source = new lsp.CancellationTokenSource();
  const slow = server.connection.sendRequest(lsp.DocumentSymbolRequest.type,
    { textDocument: { uri: URI } });
  const cancelled = server.connection.sendRequest(lsp.DocumentSymbolRequest.type,
    { textDocument: { uri: URI } }, source.token);
  source.cancel();
  await slow;
  await assert.rejects(cancelled, { code: lsp.LSPErrorCodes.RequestCancelled });
  await server.connection.sendRequest(lsp.ShutdownRequest.type);
  await assert.rejects(server.connection.sendRequest(lsp.HoverRequest.type,
    { textDocument: { uri: URI }, position: { line: 0, character: 0 } }),
    { code: lsp.ErrorCodes.InvalidRequest });
  await server.connection.sendNotification(lsp.ExitNotification.type);
  assert.equal(await server.exited, 0);
  server.connection.dispose();
});

test('formatting: the document and a range, as edits of only the lines that change', async () => {
  const lf = 'name= démo\nsrv={host=h\n  tls={on=😀\n}\n}\ntags={a,"é"}\nlast={x=é}';
  const crlf = lf.replaceAll('\n', '\r\n');
  const rows = [
    { text: lf, layout: layoutOf(lf),
      range: 'name= démo\nsrv={host=h\n    tls={\n        on=😀\n    }\n}\ntags={a,"é"}\nlast={x=é}' },
    { text: crlf, layout: layoutOf(lf).replaceAll('\n', '\r\n'),
      range: 'name= démo\r\nsrv={host=h\r\n    tls={\r\n        on=😀\r\n    }\r\n}\r\n' +
        'tags={a,"é"}\r\nlast={x=é}' },
  ];
  const server = await start();
  let version = 1;
  await server.open('', version);
  const document = { textDocument: { uri: URI }, options: { tabSize: 2, insertSpaces: false } };
  for (const row of rows) {
    await server.change(++version, [{ text: row.text }]);
    const edits = await server.connection.sendRequest(lsp.DocumentFormattingRequest.type, document);
    assert.equal(applyEdits(row.text, edits), row.layout);
    // The lines already in the layout are left alone: the tags, on line 5.
    assert.ok(edits.every((e) => e.range.end.line <= 5 || e.range.start.line > 5), JSON.stringify(edits));
    const tls = positionAt(row.text, row.text.indexOf('on='));
    const inner = await server.connection.sendRequest(lsp.DocumentRangeFormattingRequest.type,
      { ...document, range: { start: tls, end: tls } });
    assert.equal(applyEdits(row.text, inner), row.range);
    // Applied as an editor sends them, the text is in the layout: nothing more to change.
    await server.change(++version, edits.map((e) => ({ range: e.range, text: e.newText })).reverse());
    assert.deepEqual(await server.connection.sendRequest(lsp.DocumentFormattingRequest.type, document), []);
  }
  await server.change(++version, [{ text: 'a={\n' }]);
  assert.deepEqual(await server.connection.sendRequest(lsp.DocumentFormattingRequest.type, document), []);
  assert.equal(await server.stop(), 0);
});

test('closing a document clears its diagnostics', async () => {
  const server = await start();
  await server.open('a=01\n');
  assert.equal((await server.diagnostics(1)).length, 1);
  await server.connection.sendNotification(lsp.DidCloseTextDocumentNotification.type,
    { textDocument: { uri: URI } });
  assert.deepEqual(await server.diagnostics(null), []);
  assert.equal(await server.stop(), 0);
});

test("the VS Code extension's README shows the server's own hover and quick fixes", async () => {
  const readme = readFileSync(new URL('../../editors/vscode/README.md', import.meta.url), 'utf8');
  const server = await start();
  let version = 1;
  await server.open('', version);

  const [, line, shown] = readme.match(/on the value of `([^`]+)`:\s*`([^`]+)`/) ?? [];
  assert.ok(line, 'a hover shown in the README');
  await server.change(++version, [{ text: `${line}\n` }]);
  const hover = await server.connection.sendRequest(lsp.HoverRequest.type,
    { textDocument: { uri: URI }, position: { line: 0, character: line.indexOf('=') + 1 } });
  assert.equal(hover?.contents.value, shown);

  const fixes = readme.match(/\*\*Quick fixes\*\*[^]*?(?=\n- )/)?.[0] ?? '';
  const listed = [...fixes.matchAll(/`([^`]+)`/g)].map((m) => m[1]).sort();
  const titles = new Set();
  for (const text of ['\ufeffname=demo\n', 'motd = "Hello, world"\n', 'empty=\nx=1\n',
    'ports={\n80\n443\n}\n', 'greeting=Hello {name}, welcome\n', 'e={ }\n', 'a=1\n=\nb=2\n',
    'x={1,,2}\n', 't={"dark blue" red}\n', 'a=1\n{', 'a=1\n"']) {
    await server.change(++version, [{ text }]);
    await server.diagnostics(version);
    const actions = await server.connection.sendRequest(lsp.CodeActionRequest.type, {
      textDocument: { uri: URI }, range: range(0, 0, 0, 3), context: { diagnostics: [] } });
    for (const action of actions) titles.add(action.title);
  }
  assert.deepEqual(listed, [...titles].sort());
  assert.equal(await server.stop(), 0);
});

test('a schema named by the settings: its diagnostics, completion and hovers, kept up to date', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'kessa-schema-'));
  const schemaFile = join(folder, 'service.schema.json');
  const schema = (maximum) => JSON.stringify({
    type: 'object',
    required: ['name', 'port'],
    properties: {
      name: { type: 'string', description: 'What the service is called.' },
      port: { type: 'integer', maximum, description: 'The TCP port it listens on.' },
      mode: { enum: ['fast', 'safe', 'dark blue'], title: 'Mode' },
      version: { type: 'string' },
    },
  }, null, 2);
  writeFileSync(schemaFile, schema(65535));
  const uri = `file://${folder}/service.kessa`;
  const registered = [];
  const server = await start({
    client: {
      rootUri: `file://${folder}`,
      capabilities: {
        workspace: { configuration: true, didChangeWatchedFiles: { dynamicRegistration: true } },
        textDocument: { hover: { contentFormat: ['markdown'] } },
      },
    },
    answer: {
      'workspace/configuration': ({ items }) =>
        items.map((item) => (item.section === 'kessa'
          ? { schemas: { './service.schema.json': ['service.kessa', 'conf/*.kessa'] } } : null)),
      'client/registerCapability': ({ registrations }) => { registered.push(...registrations); return null; },
    },
  });
  try {
    const text = 'port=70000\nversion=1.10\n';
    // The settings arrive once the server asked for them: the first diagnostics may not have
    // the schema's yet.
    await server.open(text, 1, uri);
    const expected = [
      { code: 'schema-required', range: range(0, 0, 10) },
      { code: 'schema-range', range: range(0, 5, 10) },
      { code: 'trailing-zeros', range: range(1, 8, 12) },
      { code: 'schema-type', range: range(1, 8, 12) },
    ];
    let count = 0;
    let diagnostics;
    do diagnostics = await server.after(count++);
    while (!diagnostics.some((d) => d.code === 'schema-range'));
    assert.deepEqual(shapes(diagnostics), expected);
    assert.match(diagnostics.find((d) => d.code === 'schema-type').message,
      /"1.10" is read as a number.*wants a string/);

    // The schema's file is watched for the server.
    assert.deepEqual(registered.map((r) => r.method), ['workspace/didChangeWatchedFiles']);
    assert.deepEqual(registered[0].registerOptions.watchers, [{ globPattern: schemaFile }]);

    const complete = (line, character) => server.connection.sendRequest(lsp.CompletionRequest.type,
      { textDocument: { uri }, position: { line, character } });
    // Keys at a key position: those the object lacks, required first.
    await server.change(2, [{ text: 'port=80\n\n' }], uri);
    const keys = await complete(1, 0);
    assert.deepEqual(keys.items.map((i) => i.label), ['name', 'mode', 'version']);
    assert.equal(keys.items[0].detail, 'string, required');
    assert.deepEqual(keys.items[0].textEdit, { range: range(1, 0, 0), newText: 'name=' });
    // Values at a value position, written as the notation needs them.
    await server.change(3, [{ text: 'port=80\nmode=da' }], uri);
    const values = await complete(1, 7);
    assert.deepEqual(values.items.map((i) => i.label), ['fast', 'safe', 'dark blue']);
    assert.deepEqual(values.items[2].textEdit, { range: range(1, 5, 7), newText: 'dark blue' });

    // The description on hover, and where the schema says it.
    const hover = await server.connection.sendRequest(lsp.HoverRequest.type,
      { textDocument: { uri }, position: { line: 0, character: 1 } });
    assert.equal(hover.contents.kind, 'markdown');
    assert.match(hover.contents.value, /^port\n\n---\n\nThe TCP port it listens on\.\n\nFrom \[service\.schema\.json:\d+\]\(file:\/\/\/.*service\.schema\.json#L\d+,\d+\)$/);

    // A change of the schema, told by the client, or seen at the next edit.
    await server.change(4, [{ text: 'name=a\nport=8080\n' }], uri);
    assert.deepEqual(await server.diagnostics(4), []);
    writeFileSync(schemaFile, schema(1024));
    const told = server.published.length;
    await server.connection.sendNotification(lsp.DidChangeWatchedFilesNotification.type,
      { changes: [{ uri: `file://${schemaFile}`, type: lsp.FileChangeType.Changed }] });
    assert.deepEqual(shapes(await server.after(told)), [{ code: 'schema-range', range: range(1, 5, 9) }]);
    writeFileSync(schemaFile, schema(99999));
    await server.change(5, [{ text: 'name=a\nport=8080\n' }], uri);
    assert.deepEqual(await server.diagnostics(5), []);
    // A schema that cannot be used: one error on the first line, naming it and why.
    writeFileSync(schemaFile, '{"type": "object",\n "properties": 7}');
    await server.change(6, [{ text: 'name=a\nport=8080\n' }], uri);
    const broken = await server.diagnostics(6);
    assert.deepEqual(shapes(broken), [{ code: 'schema-error', range: range(0, 0, 6) }]);
    assert.match(broken[0].message, /^the schema "\.\/service\.schema\.json" cannot be used: .*service\.schema\.json:2:\d+: /);
    assert.equal(await server.stop(), 0);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});
