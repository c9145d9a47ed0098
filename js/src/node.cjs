// The package in Node, as a CommonJS module: the module's bytes are read from the package's
// folder on the first call, or by init() or initSync() before it.

'use strict';

const { readFileSync } = require('node:fs');
const { join } = require('node:path');
const kessa = require('./kessa.cjs');

kessa.configure({ bytes: () => readFileSync(join(__dirname, 'kessa.wasm')) });

module.exports = {
  check: kessa.check,
  convert: kessa.convert,
  convertBytes: kessa.convertBytes,
  init: kessa.init,
  initSync: kessa.initSync,
  KessaSyntaxError: kessa.KessaSyntaxError,
  parse: kessa.parse,
};
