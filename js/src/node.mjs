// The package in Node, as an ES module: the module's bytes are read from the package's folder
// on the first call, or by init() or initSync() before it.

import { Buffer, isAscii } from 'node:buffer';
import { readFileSync } from 'node:fs';
import { configure } from './kessa.mjs';

const utf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });

configure({
  bytes: () => readFileSync(new URL('./kessa.wasm', import.meta.url)),
  // JSON is mostly ASCII, which Node makes into a string fastest as Latin-1.
  decode: (bytes) => (isAscii(bytes)
    ? Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).latin1Slice()
    : utf8.decode(bytes)),
});

export {
  check, convert, convertBytes, format, init, initSync, KessaEncodeError, KessaSchemaError,
  KessaSyntaxError, parse, stringify,
} from './kessa.mjs';
