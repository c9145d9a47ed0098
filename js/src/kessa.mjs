// kessa2json in JavaScript: the converter's own reader, compiled to WebAssembly, behind four
// synchronous calls. The entries (node.mjs, node.cjs, browser.mjs) say where the module's bytes
// come from; everything else is here. The CommonJS copy of this file is made from it by taking
// the word "export" off each declaration, so that both module systems share one source.

const SEVERITIES = ['note', 'warning', 'error'];
const MALFORMED = 'malformed';

// The statuses of the module's calls.
const DONE = 0;
const MALFORMED_TEXT = 1;
const OUT_OF_MEMORY = 2;

const encoder = new TextEncoder();
const strictDecoder = new TextDecoder('utf-8', { fatal: true });
const decoder = new TextDecoder('utf-8');

let wasm = null; // the module's exports, once started
let kinds = null; // [{ code, severity }] by kind number
let pending = null; // the promise of init()
let sources = {}; // from configure()

/** A kessa text that cannot be converted, and where its fault lies. */
export class KessaSyntaxError extends SyntaxError {
  constructor(item) {
    super(`${item.message} (line ${item.line}, column ${item.column})`);
    this.name = 'KessaSyntaxError';
    this.line = item.line;
    this.column = item.column;
    this.endLine = item.endLine;
    this.endColumn = item.endColumn;
    this.offset = item.offset;
    this.length = item.length;
  }
}

/**
 * Sets where the module comes from: bytes() gives them at once, url() says where to fetch them;
 * and optionally decode(bytes), a faster way than TextDecoder to make the JSON's string, which
 * throws where the bytes are not UTF-8.
 */
export function configure(given) {
  sources = given;
}

const imports = {
  env: {
    // The views onto memory are made afresh for each call, so growth needs no notice.
    emscripten_notify_memory_growth() {},
  },
  wasi_snapshot_preview1: {
    proc_exit(status) {
      throw new Error(`kessa2json: the WebAssembly module stopped with status ${status}`);
    },
  },
};

function start(instance) {
  if (wasm) return;
  const exports = instance.exports;
  exports._initialize();
  wasm = exports;
  status(wasm.kessa_kinds());
  const severities = numbers();
  kinds = messages().map((code, kind) => ({ code, severity: SEVERITIES[severities[kind]] }));
  kinds.push({ code: MALFORMED, severity: 'error' });
}

async function instantiate(source) {
  source = await source;
  if (typeof source === 'string' || source instanceof URL) source = await fetch(source);
  if (typeof Response === 'function' && source instanceof Response) {
    if (!source.ok) {
      throw new Error(`kessa2json: cannot load ${source.url}: HTTP status ${source.status}`);
    }
    const type = source.headers.get('Content-Type') || '';
    if (WebAssembly.instantiateStreaming && type.split(';')[0].trim() === 'application/wasm') {
      return (await WebAssembly.instantiateStreaming(source, imports)).instance;
    }
    source = await source.arrayBuffer();
  }
  if (source instanceof WebAssembly.Module) return WebAssembly.instantiate(source, imports);
  return (await WebAssembly.instantiate(source, imports)).instance;
}

/**
 * Loads the module, once; later calls return the same promise. `source` may be a URL, a fetch
 * Response (or its promise), the module's bytes or a compiled WebAssembly.Module; by default the
 * package's own kessa.wasm, read from its folder in Node and fetched beside the script elsewhere.
 */
export function init(source) {
  if (wasm) return Promise.resolve();
  if (!pending) {
    if (source === undefined) source = sources.bytes ? sources.bytes() : sources.url();
    pending = instantiate(source).then(start, (error) => {
      pending = null;
      throw error;
    });
  }
  return pending;
}

/**
 * Loads the module at once from its bytes or a compiled WebAssembly.Module; by default, in Node,
 * from the package's folder. Browsers compile large modules only asynchronously: use init().
 */
export function initSync(source) {
  if (wasm) return;
  if (source === undefined) {
    if (!sources.bytes) {
      throw new Error('kessa2json: initSync needs the module here; call await init() instead');
    }
    source = sources.bytes();
  }
  const module = source instanceof WebAssembly.Module ? source : new WebAssembly.Module(source);
  start(new WebAssembly.Instance(module, imports));
}

function ready() {
  if (wasm) return;
  if (!sources.bytes) throw new Error('kessa2json: call await init() before the first conversion');
  initSync();
}

function bytesOf(pointer, size) {
  return new Uint8Array(wasm.memory.buffer, pointer >>> 0, size >>> 0);
}

/** The result's bytes, a view of the module's memory valid until the next call. */
function resultBytes() {
  return bytesOf(wasm.kessa_text(), wasm.kessa_text_size());
}

function numbers() {
  return new Uint32Array(wasm.memory.buffer, wasm.kessa_numbers() >>> 0,
    wasm.kessa_numbers_size() >>> 0);
}

/** The result's NUL-ended messages. */
function messages() {
  const parts = decoder.decode(resultBytes()).split('\0');
  parts.pop();
  return parts;
}

/** The result's items: findings, or a fault, with their messages. */
function items() {
  const fields = numbers();
  const words = messages();
  const out = [];
  for (let i = 0, at = 0; at < fields.length; ++i, at += 7) {
    const kind = kinds[fields[at]];
    out.push({
      code: kind.code,
      severity: kind.severity,
      message: words[i],
      line: fields[at + 3],
      column: fields[at + 4],
      endLine: fields[at + 5],
      endColumn: fields[at + 6],
      offset: fields[at + 1],
      length: fields[at + 2],
    });
  }
  return out;
}

function outOfMemory(size) {
  return new RangeError(`kessa2json: out of memory for a text of ${size} bytes`);
}

/** Copies the text into the module's input and returns its size in bytes. */
function writeInput(text) {
  if (typeof text === 'string') {
    // At most three bytes of UTF-8 for each UTF-16 unit, written in place where that fits.
    const room = text.length * 3;
    const pointer = room <= 0xFFFFFFFF ? wasm.kessa_input(room) >>> 0 : 0;
    if (pointer !== 0) return encoder.encodeInto(text, bytesOf(pointer, room)).written;
    text = encoder.encode(text);
  } else if (!(text instanceof Uint8Array)) {
    throw new TypeError('kessa2json: the text must be a string or a Uint8Array');
  }
  const pointer = wasm.kessa_input(text.length) >>> 0;
  if (pointer === 0) throw outOfMemory(text.length);
  bytesOf(pointer, text.length).set(text);
  return text.length;
}

function status(code, size) {
  if (code === DONE || code === MALFORMED_TEXT) return code;
  if (code === OUT_OF_MEMORY) throw outOfMemory(size);
  throw new Error(`kessa2json: ${decoder.decode(resultBytes())}`);
}

/** Converts the text and leaves the JSON as the result; throws for a malformed text. */
function run(text) {
  ready();
  const size = writeInput(text);
  if (status(wasm.kessa_convert(size), size) === MALFORMED_TEXT) {
    const error = new KessaSyntaxError(items()[0]);
    wasm.kessa_release();
    throw error;
  }
}

/** The JSON bytes kessa2json writes for `text`, as a new Uint8Array. */
export function convertBytes(text) {
  run(text);
  const bytes = resultBytes().slice();
  wasm.kessa_release();
  return bytes;
}

/**
 * The JSON kessa2json writes for `text`, a string or UTF-8 bytes. Raises KessaSyntaxError for a
 * malformed text, and a TypeError when the JSON holds bytes that are not UTF-8 (convertBytes
 * gives them as they are).
 */
export function convert(text) {
  run(text);
  try {
    return (sources.decode ?? strictDecoder.decode.bind(strictDecoder))(resultBytes());
  } catch (error) {
    throw new TypeError('kessa2json: the JSON keeps bytes of the text that are not UTF-8; ' +
      'convertBytes gives them as they are', { cause: error });
  } finally {
    wasm.kessa_release();
  }
}

/** The value the JSON of `text` holds: JSON.parse(convert(text), reviver). */
export function parse(text, reviver) {
  return JSON.parse(convert(text), reviver);
}

/**
 * Each place where the conversion of `text` changes or drops what the text says, in document
 * order, with the fields of the tool's JSON report; for a malformed text, those before the fault
 * and then the fault itself, with the code "malformed".
 */
export function check(text) {
  ready();
  const size = writeInput(text);
  status(wasm.kessa_check(size), size);
  const found = items();
  wasm.kessa_release();
  return found;
}
