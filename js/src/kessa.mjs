// kessa2json in JavaScript: the converter's own reader and writer, compiled to WebAssembly, behind
// synchronous calls. The entries (node.mjs, node.cjs, browser.mjs) say where the module's bytes
// come from; everything else is here. The CommonJS copy of this file is made from it by taking
// the word "export" off each declaration, so that both module systems share one source.

const SEVERITIES = ['note', 'warning', 'error'];
const MALFORMED = 'malformed';

// The statuses of the module's calls.
const DONE = 0;
const MALFORMED_TEXT = 1;
const OUT_OF_MEMORY = 2;
const REFUSED = 4;
const UNUSABLE_SCHEMA = 5;

// The bits of the option word of kessa_format and kessa_from_json, beside the spaces a level.
const TABS = 0x20;
const DOUBLES = 0x40;
const FIRST_ONLY = 0x80;
const MOST_SPACES = 16;

const encoder = new TextEncoder();
// A byte-order mark is text like any other: a formatted text may begin with one.
const strictDecoder = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
const decoder = new TextDecoder('utf-8');

let wasm = null; // the module's exports, once started
let kinds = null; // [{ code, severity, summary }] by kind number
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

/** The path as subscripts of the top-level object, such as '["db"]["ports"][0]'. */
function pathText(path) {
  return path.map((step) => `[${typeof step === 'number' ? step : JSON.stringify(step)}]`).join('');
}

/**
 * A JSON Schema that cannot be used: text that is not JSON, JSON that is not a schema, or a $ref
 * the module cannot follow (a URL, a file). `file` is "<schema>" for the schema given, or what
 * one of its $refs names; `line` and `column` (from 1) are the place in it, null where none is to
 * blame.
 */
export class KessaSchemaError extends Error {
  constructor(reason, file, line, column) {
    super(`${line === null ? file : `${file}:${line}:${column}`}: ${reason}`);
    this.name = 'KessaSchemaError';
    this.reason = reason;
    this.file = file;
    this.line = line;
    this.column = column;
  }
}

/**
 * A value that no kessa text gives, such as true, or the string "007" (which reads as a number):
 * `code` names the reason, `path` the keys and indices from the top-level object to it (ending
 * with the key, for a key no text gives).
 */
export class KessaEncodeError extends Error {
  constructor(code, summary, path) {
    const words = `${summary.replace(/\.$/, '')} [${code}]`;
    super(path.length > 0 ? `${pathText(path)}: ${words}` : words);
    this.name = 'KessaEncodeError';
    this.code = code;
    this.path = path;
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

// What the schema's loader links of the system and finds nothing behind here: files and folders
// (a $ref to a file is refused with words that say so) and the environment. Each fails, as a
// system without them would: ENOSYS.
const ENOSYS = 52;
const noSyscall = () => -ENOSYS;
const noWasi = () => ENOSYS;

const imports = {
  env: {
    // The views onto memory are made afresh for each call, so growth needs no notice.
    emscripten_notify_memory_growth() {},
    __syscall_getcwd: noSyscall,
    __syscall_getdents64: noSyscall,
    __syscall_fstatat64: noSyscall,
    __syscall_lstat64: noSyscall,
    __syscall_stat64: noSyscall,
  },
  wasi_snapshot_preview1: {
    proc_exit(status) {
      throw new Error(`kessa2json: the WebAssembly module stopped with status ${status}`);
    },
    environ_get: noWasi,
    environ_sizes_get: noWasi,
    fd_close: noWasi,
  },
};

function start(instance) {
  if (wasm) return;
  const exports = instance.exports;
  exports._initialize();
  wasm = exports;
  status(wasm.kessa_kinds());
  const severities = numbers();
  const words = messages();
  kinds = Array.from(severities, (severity, kind) => ({
    code: words[kind], severity: SEVERITIES[severity], summary: words[severities.length + kind],
  }));
  kinds.push({ code: MALFORMED, severity: 'error', summary: '' });
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

/** The result's messages from byte `at` on, each written as its length in bytes, a colon and its bytes. */
function measuredMessages(bytes = resultBytes(), at = 0) {
  const out = [];
  while (at < bytes.length) {
    const colon = bytes.indexOf(0x3A, at);
    const end = colon + 1 + Number(decoder.decode(bytes.subarray(at, colon)));
    out.push(decoder.decode(bytes.subarray(colon + 1, end)));
    at = end;
  }
  return out;
}

/** The result's items: findings, or a fault, with their messages (or none). */
function items(words = messages()) {
  const fields = numbers();
  const out = [];
  for (let i = 0, at = 0; at < fields.length; ++i, at += 7) {
    const kind = kinds[fields[at]];
    out.push({
      code: kind.code,
      severity: kind.severity,
      message: words[i] ?? '',
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
  if (code === DONE || code === MALFORMED_TEXT || code === REFUSED || code === UNUSABLE_SCHEMA) return code;
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

/**
 * The result as a string: a TypeError where it holds bytes that are not UTF-8, a RangeError
 * where it is longer than a string can be (`hint` says what to do instead).
 */
function resultString(hint = '') {
  const bytes = resultBytes();
  try {
    return (sources.decode ?? strictDecoder.decode.bind(strictDecoder))(bytes);
  } catch (error) {
    if (error instanceof TypeError) {
      throw new TypeError('kessa2json: the JSON keeps bytes of the text that are not UTF-8; ' +
        'convertBytes gives them as they are', { cause: error });
    }
    throw new RangeError(`kessa2json: the result, ${bytes.length} bytes, is longer than a string can be${hint}`,
      { cause: error });
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
    return resultString('; convertBytes gives it as bytes');
  } finally {
    wasm.kessa_release();
  }
}

// Control bytes but the line feed, which the JSON keeps raw only inside strings.
const RAW_CONTROL = /[\u0000-\u0009\u000B-\u001F]/;

/**
 * The value the JSON of `text` holds: JSON.parse(convert(text), reviver), where the control
 * bytes that the JSON keeps raw, and JSON.parse refuses, read as the characters they are.
 */
export function parse(text, reviver) {
  const json = convert(text);
  try {
    return JSON.parse(json, reviver);
  } catch (error) {
    if (!RAW_CONTROL.test(json)) throw error;
    const escaped = json.replace(new RegExp(RAW_CONTROL.source, 'g'), (c) => `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`);
    return JSON.parse(escaped, reviver);
  }
}

/**
 * Each place where the conversion of `text` changes or drops what the text says, in document
 * order, with the fields of the tool's JSON report; for a malformed text, those before the fault
 * and then the fault itself, with the code "malformed". With `options.schema`, also each place
 * where what the text becomes does not fit that JSON Schema, as kessa2json --check --schema
 * reports them (with `pointer` and `keyword`); `options.schemaDraft` is the draft of a schema
 * that names none.
 */
export function check(text, options = {}) {
  ready();
  const withSchema = options.schema !== undefined;
  if (withSchema) useSchema(options.schema, options.schemaDraft);
  const size = writeInput(text);
  try {
    status(wasm.kessa_check(size, withSchema ? 1 : 0), size);
    if (!withSchema) return items();
    // The messages, each ended by a NUL byte, then each item's pointer and keyword, measured:
    // a key, and so a pointer, may hold a NUL byte.
    const bytes = resultBytes();
    let end = 0;
    for (let i = numbers().length / 7; i > 0; --i) end = bytes.indexOf(0, end) + 1;
    const found = items(decoder.decode(bytes.subarray(0, end)).split('\0'));
    const marks = measuredMessages(bytes, end);
    found.forEach((item, i) => {
      if (marks[2 * i + 1]) Object.assign(item, { pointer: marks[2 * i], keyword: marks[2 * i + 1] });
    });
    return found;
  } finally {
    wasm.kessa_release();
  }
}

let schemaHeld = null; // { json, draft } of the schema the module holds, read once for many checks

/**
 * Has the module hold `schema` (its JSON text or bytes, or a value) read as `draft` where it
 * names none.
 */
function useSchema(schema, draft) {
  const name = draft === undefined ? '' : String(draft);
  let json = schema;
  if (schema instanceof Uint8Array) {
    const head = encoder.encode(name);
    json = new Uint8Array(head.length + schema.length);
    json.set(head);
    json.set(schema, head.length);
  } else if (typeof schema !== 'string') {
    try {
      json = jsonOf(schema);
    } catch (error) {
      if (!(error instanceof TypeError || error instanceof KessaEncodeError)) throw error;
      throw new TypeError(`kessa2json: the schema is not JSON data: ${error.message.replace(/^kessa2json: /, '')}`,
        { cause: error });
    }
  }
  if (schemaHeld && schemaHeld.json === json && schemaHeld.draft === name) return;
  schemaHeld = null;
  const size = writeInput(typeof json === 'string' ? name + json : json);
  try {
    const code = status(wasm.kessa_schema(size, encoder.encode(name).length), size);
    if (code === REFUSED) throw new RangeError(`kessa2json: ${decoder.decode(resultBytes())}`);
    if (code === UNUSABLE_SCHEMA) {
      const [file, reason] = decoder.decode(resultBytes()).split('\0');
      const [line = null, column = null] = numbers();
      throw new KessaSchemaError(reason, file, line, column);
    }
  } finally {
    wasm.kessa_release();
  }
  // Bytes are read afresh each time: they may change in place.
  if (typeof json === 'string') schemaHeld = { json, draft: name };
}

/** The option word of a layout: `indent` is a number of spaces from 1 to 16, or '\t'. */
function layoutOption(options = {}) {
  const indent = options.indent ?? 4;
  if (indent === '\t') return TABS | 4;
  if (Number.isInteger(indent) && indent >= 1 && indent <= MOST_SPACES) return indent;
  throw new RangeError(`kessa2json: indent must be '\\t' or a number of spaces from 1 to ${MOST_SPACES}, ` +
    `not ${typeof indent === 'string' ? JSON.stringify(indent) : String(indent)}`);
}

/**
 * The kessa text `text` laid out again in the formatter's layout, the same bytes as the
 * library's formatter (only blanks, line breaks and indentation change, so its JSON stays the
 * same, byte for byte): a string for a string, a Uint8Array for bytes. `options.indent` is a
 * number of spaces from 1 to 16 (4 by default) or '\t'. Raises KessaSyntaxError for a malformed
 * text.
 */
export function format(text, options) {
  const layout = layoutOption(options);
  ready();
  const size = writeInput(text);
  try {
    if (status(wasm.kessa_format(size, layout), size) === MALFORMED_TEXT) {
      throw new KessaSyntaxError(items()[0]);
    }
    return typeof text === 'string' ? resultString() : resultBytes().slice();
  } finally {
    wasm.kessa_release();
  }
}

/** What JSON cannot say, as JSON.stringify would drop or change it; thrown as a TypeError. */
function notJson(path, what) {
  return new TypeError(`kessa2json: ${path.length > 0 ? `${pathText(path)}: ` : ''}${what} is not JSON data`);
}

// What a JSON string must escape.
const ESCAPED = /["\\\u0000-\u001F\uD800-\uDFFF]/;

/** Adds the JSON string of `text` to `out`: most need no escape, which JSON.stringify looks for slower. */
function quote(out, text) {
  if (ESCAPED.test(text)) {
    out.push(JSON.stringify(text));
  } else {
    out.push('"', text, '"');
  }
}

/** An object as JSON.stringify takes it: what its toJSON() gives, a String, Number or Boolean's value. */
function unwrapped(given, key) {
  let v = given;
  if (typeof v.toJSON === 'function') v = v.toJSON(key);
  if (v instanceof Number) return Number(v);
  if (v instanceof String) return String(v);
  if (v instanceof Boolean) return v.valueOf();
  return v;
}

/**
 * The JSON text of `value` as JSON.stringify writes it (toJSON() called, String, Number and
 * Boolean objects unwrapped, an object's own enumerable string keys), with what it would drop or
 * change refused instead: undefined, functions and symbols (TypeError), BigInt (TypeError, as
 * JSON.stringify), Map and Set (TypeError: they would become {}), an object that holds itself
 * (TypeError), NaN (KessaEncodeError); -0 is written -0.0 and the infinities 1e999 and -1e999,
 * which the module reads as such. Walks without recursing.
 */
function jsonOf(value) {
  // Pieces joined once at the end: a string grown piece by piece costs the collector more.
  const out = [];
  const frames = []; // open containers: { node, keys, size, next, step }
  const open = new Set();
  const path = () => frames.map((frame) => frame.step);
  const write = (given, key) => {
    let v = given;
    if ((typeof v === 'object' && v !== null) || typeof v === 'bigint') v = unwrapped(v, key);
    switch (typeof v) {
      case 'string':
        quote(out, v);
        return;
      case 'number':
        if (Number.isNaN(v)) {
          const kind = kinds.find((k) => k.code === 'not-a-number');
          throw new KessaEncodeError(kind.code, kind.summary, path());
        }
        out.push(v === Infinity ? '1e999' : v === -Infinity ? '-1e999' : Object.is(v, -0) ? '-0.0' : String(v));
        return;
      case 'boolean':
        out.push(v ? 'true' : 'false');
        return;
      case 'object':
        break;
      case 'bigint':
        throw notJson(path(), 'a BigInt');
      case 'undefined':
        throw notJson(path(), 'undefined');
      default:
        throw notJson(path(), `a ${typeof v}`);
    }
    if (v === null) {
      out.push('null');
      return;
    }
    if (v instanceof Map || v instanceof Set) throw notJson(path(), `a ${v instanceof Map ? 'Map' : 'Set'}`);
    if (open.has(v)) throw notJson(path(), 'an object that holds itself');
    open.add(v);
    const array = Array.isArray(v);
    const keys = array ? null : Object.keys(v);
    frames.push({ node: v, keys, size: array ? v.length : keys.length, next: 0, step: undefined });
    out.push(array ? '[' : '{');
  };
  write(value, '');
  while (frames.length > 0) {
    const frame = frames[frames.length - 1];
    if (frame.next === frame.size) {
      out.push(frame.keys ? '}' : ']');
      open.delete(frame.node);
      frames.pop();
      continue;
    }
    const i = frame.next++;
    if (i > 0) out.push(',');
    if (frame.keys) {
      const key = frame.keys[i];
      frame.step = key;
      quote(out, key);
      out.push(':');
      write(frame.node[key], key);
    } else {
      frame.step = i;
      write(frame.node[i], String(i));
    }
  }
  return out.join('');
}

const LONE_SURROGATE = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/g;

/** The steps of the JSON pointer `pointer` into `value`: keys, and indices where an array is. */
function pathOf(value, pointer) {
  const path = [];
  let node = value;
  for (const token of pointer.split('/').slice(1)) {
    const step = token.replaceAll('~1', '/').replaceAll('~0', '~');
    if (node !== null && typeof node === 'object' && typeof node.toJSON === 'function') {
      node = node.toJSON(String(path.at(-1) ?? ''));
    }
    let index = Array.isArray(node) ? Number(step) : step;
    if (typeof index === 'string' && node !== null && typeof node === 'object' && !Object.hasOwn(node, index)) {
      // A key with half a surrogate pair: the module holds each as three bytes, which no UTF-8
      // decoder gives back, and each of which it reads as U+FFFD.
      index = Object.keys(node).find((key) => key.replace(LONE_SURROGATE, '\uFFFD\uFFFD\uFFFD') === step) ?? step;
    }
    path.push(index);
    node = node?.[index];
  }
  return path;
}

/**
 * The kessa text of `value`, an object, in the formatter's layout, such that parse() gives back
 * a value deep-equal to it; `options.indent` as for format(). Takes what JSON.stringify takes,
 * and refuses what it would drop or change: a TypeError for undefined, a function, a symbol, a
 * BigInt, a Map or Set, an object that holds itself. A value no kessa text gives raises
 * KessaEncodeError naming the first by its path: true, false and null, a string that reads as a
 * number ("007"), a string that only quotes keep holding a tab or a double quote, a key holding
 * = , { } or a line break or blanks at an end, a number that six decimals do not keep (0.1 + 0.2),
 * NaN, a lone surrogate, a top level that is not an object.
 */
export function stringify(value, options) {
  const layout = layoutOption(options);
  ready();
  const size = writeInput(jsonOf(value));
  try {
    const code = status(wasm.kessa_from_json(size, layout | DOUBLES | FIRST_ONLY), size);
    if (code === DONE) return resultString();
    if (code === REFUSED) {
      const [refusal] = items(measuredMessages());
      const kind = kinds.find((k) => k.code === refusal.code);
      throw new KessaEncodeError(kind.code, kind.summary, pathOf(value, refusal.message));
    }
    throw new Error(`kessa2json: the module could not read the JSON of the value: ${messages()[0]}`);
  } finally {
    wasm.kessa_release();
  }
}

/**
 * For the page: the kessa text of the JSON text `text` (a string) and what stands in its way, as
 * { kessa, findings }: kessa is null where some value has no kessa text, or the text is not JSON;
 * findings, in document order, are each value no kessa text gives (its message names its JSON
 * pointer), each string whose bytes are kept, and for a text that is not JSON its fault, with
 * the code "malformed"; each with the fields of check()'s findings and `pointer`.
 */
export function convertJson(text, options) {
  const layout = layoutOption(options);
  ready();
  const size = writeInput(text);
  try {
    const code = status(wasm.kessa_from_json(size, layout), size);
    if (code === DONE) {
      const kept = items([]);
      return { kessa: resultString(), findings: kept.map((item) => describeJson(item, '')) };
    }
    if (code === REFUSED) {
      return { kessa: null, findings: items(measuredMessages()).map((item) => describeJson(item, item.message)) };
    }
    return { kessa: null, findings: items().map((item) => describeJson(item, null)) };
  } finally {
    wasm.kessa_release();
  }
}

/** A finding of convertJson: the kind's words, after the value's pointer where it has one. */
function describeJson(item, pointer) {
  if (pointer === null) return { ...item, pointer: null };  // the fault: its own words
  const summary = kinds.find((k) => k.code === item.code).summary;
  return { ...item, message: pointer ? `${pointer}: ${summary}` : summary, pointer };
}
