// The package in Node, as an ES module: the module's bytes are read from the package's folder
// on the first call, or by init() or initSync() before it.

import { readFileSync } from 'node:fs';
import { configure } from './kessa.mjs';

configure({ bytes: () => readFileSync(new URL('./kessa.wasm', import.meta.url)) });

export { check, convert, convertBytes, init, initSync, KessaSyntaxError, parse } from './kessa.mjs';
