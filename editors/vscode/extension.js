// The kessa extension's client: starts kessa-language-server over standard input and output for
// the kessa documents (VS Code takes its formatting from the server's capabilities), hands it the
// kessa.schemas and kessa.format settings, restarts it when its path setting changes, shows the
// JSON of a document beside it, as the server's kessa.convert command writes it, and converts a
// JSON document to kessa with its kessa.fromJson command.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const vscode = require('vscode');
const { LanguageClient, ExecuteCommandRequest } = require('vscode-languageclient/node');

const kServerName = process.platform === 'win32' ? 'kessa-language-server.exe' : 'kessa-language-server';
// The JSON of a kessa document opens as kessa-json:<its path>.json?<its URI>; VS Code reads it from
// this extension, never from the disk.
const kJsonScheme = 'kessa-json';

/** @type {LanguageClient | undefined} */
let client;

/// The server to start: the setting, else the one in the extension, else the one on the PATH.
function serverCommand(context) {
  const configured = vscode.workspace.getConfiguration('kessa').get('server.path', '').trim();
  if (configured) return configured.replace(/^~(?=$|[\\/])/, os.homedir());
  const bundled = path.join(context.extensionPath, 'server', kServerName);
  if (!fs.existsSync(bundled)) return kServerName;
  // An archive tool on the way may have lost the executable bit; the extension's own folder is
  // normally the user's to change.
  if (process.platform !== 'win32') {
    try {
      fs.accessSync(bundled, fs.constants.X_OK);
    } catch {
      try {
        fs.chmodSync(bundled, 0o755);
      } catch {
        // Starting it reports the failure.
      }
    }
  }
  return bundled;
}

/// What went wrong, from an Error or whatever else a promise was rejected with.
function describe(error) {
  return error instanceof Error ? error.message : String(error ?? 'no reason given');
}

async function startClient(context) {
  const command = serverCommand(context);
  const started = new LanguageClient(
    'kessa',
    'kessa language server',
    { command, args: [] },  // no transport named, so no --stdio argument: the server speaks stdio
    {
      documentSelector: [{ language: 'kessa' }],
      // The settings: the server has them from the start, and each change as it is made.
      initializationOptions: {
        schemas: vscode.workspace.getConfiguration('kessa').get('schemas', {}),
        format: { indent: vscode.workspace.getConfiguration('kessa').get('format.indent', '4') },
      },
      synchronize: { configurationSection: ['kessa.schemas', 'kessa.format'] },
    },
  );
  client = started;
  try {
    await started.start();
  } catch (error) {
    client = undefined;
    vscode.window.showErrorMessage(
      `kessa: could not start the language server '${command}': ${describe(error)}. ` +
        'Set kessa.server.path to a kessa-language-server program.',
    );
  }
}

async function stopClient() {
  const running = client;
  client = undefined;
  if (running) await running.stop().catch(() => {});
}

/// The JSON text of the kessa document whose URI is `uri`, as the client gave it to the server.
async function convert(uri) {
  if (!client) throw new Error('the language server is not running');
  return client.sendRequest(ExecuteCommandRequest.type, { command: 'kessa.convert', arguments: [uri] });
}

/// Provides the kessa-json: documents, and tells VS Code to read one again when its kessa document
/// changes.
class JsonViews {
  constructor() {
    this.changed = new vscode.EventEmitter();
    this.onDidChange = this.changed.event;
    this.shown = new Map();  // kessa URI text -> the last JSON shown, kept while the text is malformed
    this.pending = new Map();  // kessa URI text -> the timer of its next refresh
  }

  /// The view's name ends in .json, which gives it the JSON language.
  static viewOf(source) {
    const name = source.path.startsWith('/') ? source.path : `/${source.path}`;
    return vscode.Uri.from({ scheme: kJsonScheme, path: `${name}.json`, query: source.toString() });
  }

  async provideTextDocumentContent(view) {
    const source = view.query;
    try {
      const json = await convert(source);
      this.shown.set(source, json);
      return json;
    } catch (error) {
      // A malformed text is marked in its own editor; the view keeps its last JSON meanwhile.
      if (this.shown.has(source)) return this.shown.get(source);
      throw error;
    }
  }

  /// Refreshes a shown view once typing pauses, not on every key.
  sourceChanged(source) {
    const key = source.toString();
    if (!this.shown.has(key)) return;
    clearTimeout(this.pending.get(key));
    this.pending.set(key, setTimeout(() => {
      this.pending.delete(key);
      this.changed.fire(JsonViews.viewOf(source));
    }, 300));
  }

  forget(view) {
    if (view.scheme !== kJsonScheme) return;
    clearTimeout(this.pending.get(view.query));
    this.pending.delete(view.query);
    this.shown.delete(view.query);
  }
}

async function showJson(views) {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'kessa') {
    vscode.window.showInformationMessage('kessa: open a kessa file to see its JSON.');
    return;
  }
  try {
    const document = await vscode.workspace.openTextDocument(JsonViews.viewOf(editor.document.uri));
    await vscode.window.showTextDocument(document, {
      viewColumn: vscode.ViewColumn.Beside,
      preserveFocus: true,
      preview: true,
    });
  } catch (error) {
    vscode.window.showErrorMessage(`kessa: no JSON for this file: ${describe(error)}`);
  }
}

/// The kessa text of the active JSON editor's document, opened beside it as a new kessa document;
/// where the JSON has values no kessa text gives, the server marks them on the JSON and nothing
/// opens.
async function convertJsonToKessa() {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'json') {
    vscode.window.showInformationMessage('kessa: open a JSON file to convert it to kessa.');
    return;
  }
  try {
    if (!client) throw new Error('the language server is not running');
    const source = editor.document;
    const answer = await client.sendRequest(ExecuteCommandRequest.type, {
      command: 'kessa.fromJson',
      arguments: [{ uri: source.uri.toString(), text: source.getText() }],
    });
    if (typeof answer?.kessa !== 'string') {
      const problems = answer?.problems ?? 0;
      vscode.window.showWarningMessage(
        `kessa: no kessa written: ${problems} ${problems === 1 ? 'problem' : 'problems'} in this JSON, ` +
          'marked in the file and listed in the Problems view.',
      );
      return;
    }
    const document = await vscode.workspace.openTextDocument({ language: 'kessa', content: answer.kessa });
    await vscode.window.showTextDocument(document, { viewColumn: vscode.ViewColumn.Beside });
  } catch (error) {
    vscode.window.showErrorMessage(`kessa: cannot convert this JSON: ${describe(error)}`);
  }
}

async function activate(context) {
  const views = new JsonViews();
  context.subscriptions.push(
    vscode.workspace.registerTextDocumentContentProvider(kJsonScheme, views),
    vscode.commands.registerCommand('kessa.showJson', () => showJson(views)),
    vscode.commands.registerCommand('kessa.convertJsonToKessa', convertJsonToKessa),
    vscode.commands.registerCommand('kessa.restartServer', async () => {
      await stopClient();
      await startClient(context);
    }),
    vscode.workspace.onDidChangeTextDocument((event) => views.sourceChanged(event.document.uri)),
    vscode.workspace.onDidCloseTextDocument((document) => views.forget(document.uri)),
    vscode.workspace.onDidChangeConfiguration(async (event) => {
      if (!event.affectsConfiguration('kessa.server.path')) return;
      await stopClient();
      await startClient(context);
    }),
  );
  await startClient(context);
}

function deactivate() {
  return stopClient();
}

module.exports = { activate, deactivate };
