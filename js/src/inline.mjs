// The package with the module inside it, for bundlers and pages that should carry no separate
// file: its bytes are this file's base64 text (put in when the package is assembled), decoded on
// the first call, or by init() or initSync() before it. It runs wherever atob() does.

import { configure } from './kessa.mjs';

const BASE64 = '@KESSA_WASM_BASE64@';

configure({
  bytes: () => {
    const text = atob(BASE64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    return bytes;
  },
});

export {
  check, convert, convertBytes, format, init, initSync, KessaEncodeError, KessaSchemaError,
  KessaSyntaxError, parse, stringify,
} from './kessa.mjs';
