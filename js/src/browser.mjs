// The package in browsers, workers and bundlers: init() fetches kessa.wasm from beside this file,
// once, and the calls are synchronous after it.

import { configure } from './kessa.mjs';

configure({ url: () => new URL('./kessa.wasm', import.meta.url) });

export {
  check, convert, convertBytes, format, init, initSync, KessaEncodeError, KessaSchemaError,
  KessaSyntaxError, parse, stringify,
} from './kessa.mjs';
