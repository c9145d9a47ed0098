// The package in Node, as a CommonJS module: the module's bytes are read from the package's
// folder on the first call, or by init() or initSync() before it.

'use strict';

const { Buffer, isAscii } = require('node:buffer');
const { readFileSync } = require('node:fs');
const { join } = require('node:path');
const kessa = require('./kessa.cjs');

const utf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });

kessa.configure({
  bytes: () => readFileSync(join(__dirname, 'kessa.wasm')),
  // JSON is mostly ASCII, which Node makes into a string fastest as Latin-1.
  decode: (bytes) => (isAscii(bytes)
    ? Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).latin1Slice()
    : utf8.decode(bytes)),
});

module.exports = {
  check: kessa.check,
  convert: kessa.convert,
  convertBytes: kessa.convertBytes,
  format: kessa.format,
  init: kessa.init,
  initSync: kessa.initSync,
  KessaEncodeError: kessa.KessaEncodeError,
  KessaSchemaError: kessa.KessaSchemaError,
  KessaSyntaxError: kessa.KessaSyntaxError,
  parse: kessa.parse,
  stringify: kessa.stringify,
};
