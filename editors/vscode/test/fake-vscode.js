// A stand-in for VS Code's extension API, enough for the extension and vscode-languageclient to run
// in node: documents, events, settings, commands, content providers and diagnostics behave; every
// other part of the API is a no-op that returns a disposable. It records what a user would see.
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

/// A fresh API; `seen` records what reached the user: messages, shown documents, diagnostics.
function makeVscode() {
  const seen = { errors: [], shown: [], diagnostics: new Map(), refreshes: 0 };
  const events = {
    open: new EventEmitter(), close: new EventEmitter(), change: new EventEmitter(),
    configuration: new EventEmitter(),
  };
  const settings = new Map();
  const commands = new Map();
  const providers = new Map();
  const documents = [];
  const window = new Proxy({
    activeTextEditor: undefined,
    createOutputChannel: () => ({ append() {}, appendLine() {}, show() {}, clear() {}, dispose() {}, replace() {} }),
    showErrorMessage: async (message) => void seen.errors.push(message),
    showWarningMessage: async () => undefined,
    showInformationMessage: async () => undefined,
    showTextDocument: async (document, options) => void seen.shown.push({ document, options }),
    tabGroups: { all: [], onDidChangeTabs: () => new Disposable() },
  }, { get: (target, key) => (key in target ? target[key] : inert) });
  const workspace = new Proxy({
    textDocuments: documents,
    workspaceFolders: undefined,
    getConfiguration: (section) => ({
      get: (key, fallback) => settings.get(section ? `${section}.${key}` : key) ?? fallback,
      has: (key) => settings.has(section ? `${section}.${key}` : key),
    }),
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
  }, { get: (target, key) => (key in target ? target[key] : inert) });
  const api = new Proxy({
    version: '1.90.0',
    env: { appName: 'fake', language: 'en', openExternal: async () => false },
    Disposable, EventEmitter, CancellationTokenSource, CancellationError, Uri, Position, Range, Diagnostic,
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
