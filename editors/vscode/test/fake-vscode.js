// A stand-in for VS Code's extension API, enough for the extension and vscode-languageclient to run
// in node: documents, events, settings (with the defaults the extension's manifest contributes),
// commands, content providers, diagnostics, formatting providers and a save that formats as
// editor.formatOnSave does behave; every other part of the API is a no-op that returns a
// disposable. It records what a user would see.
'use strict';
const Module = require('node:module');
const { URL } = require('node:url');

// Anything not modelled below: callable, constructible, and every property of it is one too.
const inert = new Proxy(function () {}, {
  get: (_, key) => {
    if (key === 'then') return undefined;  // not a promise
    if (key === Symbol.hasInstance) return () => false;
    if (key === Symbol.toPrimitive) return () => '';
    if (key === 'prototype') return {};
    return inert;
  },
  apply: () => inert,
  construct: () => inert,
});

class Disposable {
  constructor(dispose) {
    this.dispose = dispose ?? (() => {});
  }
  static from(...items) {
    return new Disposable(() => items.forEach((item) => item?.dispose?.()));
  }
}

class EventEmitter {
  constructor() {
    this.listeners = new Set();
    this.event = (listener, thisArg) => {
      const bound = listener.bind(thisArg);
      this.listeners.add(bound);
      return new Disposable(() => this.listeners.delete(bound));
    };
  }
  fire(value) {
    for (const listener of [...this.listeners]) listener(value);
  }
  dispose() {
    this.listeners.clear();
  }
}

class CancellationTokenSource {
  constructor() {
    const cancelled = new EventEmitter();
    this.token = { isCancellationRequested: false, onCancellationRequested: cancelled.event };
    this.cancel = () => {
      if (this.token.isCancellationRequested) return;
      this.token.isCancellationRequested = true;
      cancelled.fire();
    };
    this.dispose = () => cancelled.dispose();
  }
}

class CancellationError extends Error {}

class Uri {
  constructor({ scheme, authority = '', path = '', query = '', fragment = '' }) {
    Object.assign(this, { scheme, authority, path, query, fragment });
  }
  static parse(text) {
    const url = new URL(text);
    return new Uri({
      scheme: url.protocol.slice(0, -1),
      authority: url.host,
      path: decodeURIComponent(url.pathname),
      query: decodeURIComponent(url.search.slice(1)),
    });
  }
  static file(path) {
    return new Uri({ scheme: 'file', path });
  }
  static from(parts) {
    return new Uri(parts);
  }
  get fsPath() {
    return this.path;
  }
  with(change) {
    return new Uri({ ...this, ...change });
  }
  toString() {
    const query = this.query ? `?${encodeURIComponent(this.query)}` : '';
    return `${this.scheme}://${this.authority}${encodeURI(this.path)}${query}`;
  }
  toJSON() {
    return this.toString();
  }
}

class Position {
  constructor(line, character) {
    Object.assign(this, { line, character });
  }
}

class Range {
  constructor(a, b, c, d) {
    [this.start, this.end] = a instanceof Position ? [a, b] : [new Position(a, b), new Position(c, d)];
  }
}

class TextEdit {
  constructor(range, newText) {
    Object.assign(this, { range, newText });
  }
}

class Diagnostic {
  constructor(range, message, severity) {
    Object.assign(this, { range, message, severity });
  }
}

class TextDocument {
  constructor(uri, languageId, text) {
    Object.assign(this, { uri, languageId, text, version: 1, isClosed: false });
  }
  getText() {
    return this.text;
  }
  get lineCount() {
    return this.text.split('\n').length;
  }
}

/// The settings that `manifest` contributes, as VS Code has them before a user sets any: each
/// property's default, and configurationDefaults, those of a language under "[language].key".
function defaultsOf(manifest) {
  const defaults = new Map();
  for (const [key, property] of Object.entries(manifest?.contributes?.configuration?.properties ?? {})) {
    if ('default' in property) defaults.set(key, property.default);
  }
  for (const [key, value] of Object.entries(manifest?.contributes?.configurationDefaults ?? {})) {
    if (!key.startsWith('[')) {
      defaults.set(key, value);
      continue;
    }
    for (const [inner, setting] of Object.entries(value)) defaults.set(`${key}.${inner}`, setting);
  }
  return defaults;
}

/// A fresh API for the extension whose package.json is `manifest`; `seen` records what reached
/// the user: messages, shown documents, diagnostics.
function makeVscode(manifest) {
  const seen = { errors: [], warnings: [], shown: [], diagnostics: new Map(), refreshes: 0 };
  const events = {
    open: new EventEmitter(), close: new EventEmitter(), change: new EventEmitter(),
    configuration: new EventEmitter(),
  };
  const settings = new Map();
  const defaults = defaultsOf(manifest);
  const extensionId = manifest ? `${manifest.publisher}.${manifest.name}` : undefined;
  /// A setting: the user's, else the default; a name with settings below it gives them as an
  /// object, as VS Code does for "kessa.format".
  const setting = (name) => {
    const value = settings.get(name) ?? defaults.get(name);
    if (value !== undefined) return value;
    let found;
    for (const map of [defaults, settings]) {
      for (const [key, inner] of map) {
        if (!key.startsWith(`${name}.`)) continue;
        found ??= {};
        found[key.slice(name.length + 1)] = inner;
      }
    }
    return found;
  };
  const formatters = { document: [], range: [] };
  const register = (list, selector, provider) => {
    const entry = { selector, provider, extension: extensionId };
    list.push(entry);
    return new Disposable(() => list.splice(list.indexOf(entry), 1));
  };
  const commands = new Map();
  const providers = new Map();
  const documents = [];
  let untitled = 0;
  const window = new Proxy({
    activeTextEditor: undefined,
    createOutputChannel: () => ({ append() {}, appendLine() {}, show() {}, clear() {}, dispose() {}, replace() {} }),
    showErrorMessage: async (message) => void seen.errors.push(message),
    showWarningMessage: async (message) => void seen.warnings.push(message),
    showInformationMessage: async () => undefined,
    showTextDocument: async (document, options) => void seen.shown.push({ document, options }),
    tabGroups: { all: [], onDidChangeTabs: () => new Disposable() },
  }, { get: (target, key) => (key in target ? target[key] : inert) });
  const workspace = new Proxy({
    textDocuments: documents,
    workspaceFolders: undefined,
    // A scope with a languageId reads that language's settings first.
    getConfiguration: (section, scope) => {
      const name = (key) => (section ? `${section}.${key}` : key);
      const get = (key) => (scope?.languageId !== undefined ? setting(`[${scope.languageId}].${name(key)}`) : undefined) ??
        setting(name(key));
      return {
        get: (key, fallback) => get(key) ?? fallback,
        has: (key) => get(key) !== undefined,
      };
    },
    onDidOpenTextDocument: events.open.event,
    onDidCloseTextDocument: events.close.event,
    onDidChangeTextDocument: events.change.event,
    onDidChangeConfiguration: events.configuration.event,
    registerTextDocumentContentProvider: (scheme, provider) => {
      providers.set(scheme, provider);
      // As VS Code does for a view that is open: read it again when the provider says so.
      const refreshing = provider.onDidChange?.(async (uri) => {
        for (const { document } of seen.shown.filter((shown) => shown.document.uri.toString() === uri.toString())) {
          document.text = await provider.provideTextDocumentContent(uri, inert).catch(() => document.text);
        }
        seen.refreshes++;
      });
      return new Disposable(() => {
        providers.delete(scheme);
        refreshing?.dispose();
      });
    },
    openTextDocument: async (uri) => {
      // An untitled document of a language and a content.
      if (uri.content !== undefined) return new TextDocument(Uri.from({ scheme: 'untitled', path: `/Untitled-${++untitled}` }), uri.language ?? 'plaintext', uri.content);
      const provider = providers.get(uri.scheme);
      const text = await provider.provideTextDocumentContent(uri, inert);
      return new TextDocument(uri, uri.path.endsWith('.json') ? 'json' : 'plaintext', text);
    },
  }, { get: (target, key) => (key in target ? target[key] : inert) });
  const languages = new Proxy({
    match: (selector, document) =>
      [selector].flat().some((filter) => (typeof filter === 'string' ? filter : filter.language) === document.languageId) ? 10 : 0,
    createDiagnosticCollection: () => ({
      set: (uri, list) => void seen.diagnostics.set(uri.toString(), list ?? []),
      delete: (uri) => void seen.diagnostics.delete(uri.toString()),
      clear: () => seen.diagnostics.clear(),
      forEach: () => {},
      get: (uri) => seen.diagnostics.get(uri.toString()),
      dispose: () => {},
    }),
    registerDocumentFormattingEditProvider: (selector, provider) => register(formatters.document, selector, provider),
    registerDocumentRangeFormattingEditProvider: (selector, provider) => register(formatters.range, selector, provider),
  }, { get: (target, key) => (key in target ? target[key] : inert) });
  const api = new Proxy({
    version: '1.90.0',
    env: { appName: 'fake', language: 'en', openExternal: async () => false },
    Disposable, EventEmitter, CancellationTokenSource, CancellationError, Uri, Position, Range, TextEdit, Diagnostic,
    DiagnosticSeverity: { Error: 0, Warning: 1, Information: 2, Hint: 3 },
    ViewColumn: { Active: -1, Beside: -2, One: 1 },
    window, workspace, languages,
    commands: new Proxy({
      registerCommand: (id, run) => {
        commands.set(id, run);
        return new Disposable(() => commands.delete(id));
      },
      executeCommand: async (id, ...args) => commands.get(id)?.(...args),
    }, { get: (target, key) => (key in target ? target[key] : inert) }),
  }, { get: (target, key) => (key in target ? target[key] : inert) });

  /// The formatter VS Code picks for `document` among `list`: the one of the extension that
  /// editor.defaultFormatter names for its language, else the only one there is.
  const formatterFor = (list, document) => {
    const matching = list.filter((entry) => languages.match(entry.selector, document) > 0);
    const named = workspace.getConfiguration('editor', { languageId: document.languageId }).get('defaultFormatter');
    if (named !== undefined) return matching.find((entry) => entry.extension === named);
    return matching.length === 1 ? matching[0] : undefined;
  };
  const formattingOptions = { tabSize: 4, insertSpaces: true };

  // What a test does as the user or the editor.
  const user = {
    seen,
    setting(key, value) {
      settings.set(key, value);
      events.configuration.fire({ affectsConfiguration: (section) => key.startsWith(section) });
    },
    open(path, text, languageId = 'kessa') {
      const document = new TextDocument(Uri.file(path), languageId, text);
      documents.push(document);
      events.open.fire(document);
      window.activeTextEditor = { document };
      return document;
    },
    command: (id, ...args) => commands.get(id)(...args),
    /// Replaces the text between two [line, character] places (UTF-16 units, as VS Code counts).
    edit(document, start, end, text) {
      const offset = ([line, character]) =>
        document.text.split('\n').slice(0, line).reduce((sum, l) => sum + l.length + 1, 0) + character;
      const [from, to] = [offset(start), offset(end)];
      document.text = document.text.slice(0, from) + text + document.text.slice(to);
      document.version++;
      events.change.fire({
        document,
        reason: undefined,
        contentChanges: [{ range: new Range(...start, ...end), rangeOffset: from, rangeLength: to - from, text }],
      });
    },
    /// Applies text edits, in order and apart, as one change whose parts come last first, as
    /// VS Code reports them.
    applyEdits(document, edits) {
      if (edits.length === 0) return;
      const offset = ({ line, character }) =>
        document.text.split('\n').slice(0, line).reduce((sum, l) => sum + l.length + 1, 0) + character;
      const changes = [...edits].reverse().map((edit) => {
        const [from, to] = [offset(edit.range.start), offset(edit.range.end)];
        return { range: edit.range, rangeOffset: from, rangeLength: to - from, text: edit.newText };
      });
      for (const change of changes) {
        document.text = document.text.slice(0, change.rangeOffset) + change.text +
          document.text.slice(change.rangeOffset + change.rangeLength);
      }
      document.version++;
      events.change.fire({ document, reason: undefined, contentChanges: changes });
    },
    /// Saves the document as VS Code does: formatted first where editor.formatOnSave is on for
    /// its language, by the formatter it picks. Returns whether a formatter ran.
    async save(document) {
      const editor = workspace.getConfiguration('editor', { languageId: document.languageId });
      if (!editor.get('formatOnSave')) return false;
      const edits = await user.formattingEdits(document);
      if (edits) user.applyEdits(document, edits);
      return edits !== undefined;
    },
    /// The edits of "Format Document" by the formatter VS Code picks, not applied; undefined
    /// where it picks none.
    async formattingEdits(document) {
      const formatter = formatterFor(formatters.document, document);
      if (!formatter) return undefined;
      const source = new CancellationTokenSource();
      return await formatter.provider.provideDocumentFormattingEdits(document, formattingOptions, source.token) ?? [];
    },
    /// "Format Selection" over the range between two [line, character] places.
    async formatSelection(document, start, end) {
      const formatter = formatterFor(formatters.range, document);
      if (!formatter) throw new Error('no range formatter for the document');
      const source = new CancellationTokenSource();
      const edits = await formatter.provider.provideDocumentRangeFormattingEdits(
        document, new Range(...start, ...end), formattingOptions, source.token);
      user.applyEdits(document, edits ?? []);
    },
  };
  return { api, user };
}

/// Makes require('vscode') give `api` from now on.
function installVscode(api) {
  const load = Module._load;
  Module._load = function (request, ...rest) {
    return request === 'vscode' ? api : load.call(this, request, ...rest);
  };
}

module.exports = { makeVscode, installVscode };
