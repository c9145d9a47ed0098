// Converts and checks the page's text, kessa to JSON or JSON to kessa, away from the page's own
// thread, so that typing never waits for a conversion. The worker keeps its own copy of the text:
// the page sends only what changed, so a keystroke in megabytes copies no megabytes.

import { check, convert, init, KessaSyntaxError } from './kessa/browser.mjs';
import { convertJson } from './kessa/kessa.mjs';

const ready = init();
let text = '';

/** `text` with `changes` made: [from, to, inserted] in its own positions, in order. */
function applied(text, changes) {
  const parts = [];
  let at = 0;
  for (const [from, to, inserted] of changes) {
    parts.push(text.slice(at, from), inserted);
    at = to;
  }
  parts.push(text.slice(at));
  return parts.join('');
}

/** Where each line of `text` starts, for the page to lay out only the lines in view. */
function lineStarts(text) {
  let starts = new Uint32Array(1024); // grown by doubling: a JSON of megabytes has a million lines
  let count = 1;
  for (let at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) {
    if (count === starts.length) {
      const more = new Uint32Array(2 * count);
      more.set(starts);
      starts = more;
    }
    starts[count++] = at + 1;
  }
  return starts.slice(0, count);
}

const NOT_ASCII = /[^\0-\x7F]/;

/**
 * The findings' places as positions in `text` (UTF-16 units, the editor's) from their offsets in
 * its UTF-8 bytes: `from` and `to`, two per finding. One walk over the text up to the last
 * place, in order of offset; none at all for a text of ASCII, whose bytes are its units.
 */
function positions(text, findings) {
  const places = new Uint32Array(2 * findings.length);
  const bytes = new Float64Array(places.length);
  findings.forEach((finding, i) => {
    bytes[2 * i] = finding.offset;
    bytes[2 * i + 1] = finding.offset + finding.length;
  });
  if (findings.length === 0 || !NOT_ASCII.test(text)) {
    places.forEach((_, i) => { places[i] = Math.min(bytes[i], text.length); });
    return places;
  }
  const order = Array.from(places.keys()).sort((a, b) => bytes[a] - bytes[b]);
  let unit = 0;
  let byte = 0;
  for (const i of order) {
    while (byte < bytes[i] && unit < text.length) {
      const code = text.charCodeAt(unit);
      if (code < 0x80) {
        byte += 1;
        unit += 1;
      } else if (code < 0x800) {
        byte += 2;
        unit += 1;
      } else if (code >= 0xD800 && code < 0xDC00 && unit + 1 < text.length &&
        (text.charCodeAt(unit + 1) & 0xFC00) === 0xDC00) {
        byte += 4;
        unit += 2;
      } else {
        byte += 3; // a lone surrogate too: it goes to the module as U+FFFD
        unit += 1;
      }
    }
    places[i] = unit;
  }
  return places;
}

self.onmessage = async ({ data }) => {
  text = applied(text, data.changes);
  try {
    await ready;
  } catch (error) {
    self.postMessage({ id: data.id, failure: `the converter could not be loaded: ${error.message}` });
    return;
  }
  const started = performance.now();
  let output = null;
  let findings;
  try {
    if (data.direction === 'json') {
      ({ kessa: output, findings } = convertJson(text));
    } else {
      try {
        output = convert(text);
      } catch (error) {
        if (!(error instanceof KessaSyntaxError)) throw error;
      }
      findings = check(text);
    }
  } catch (error) {
    self.postMessage({ id: data.id, failure: error.message });
    return;
  }
  const starts = output === null ? new Uint32Array([0]) : lineStarts(output);
  const places = positions(text, findings);
  const fault = findings.at(-1)?.code === 'malformed' ? findings.at(-1) : null;
  self.postMessage({
    id: data.id,
    direction: data.direction,
    output,
    starts,
    findings: findings.map(({ line, column, severity, message, code }) => ({ line, column, severity, message, code })),
    places,
    fault,
    // Values that no kessa text gives: the reason there is no output, when the text is JSON.
    refused: data.direction === 'json' && !fault ? findings.filter((f) => f.severity === 'error').length : 0,
    milliseconds: performance.now() - started,
  }, [starts.buffer, places.buffer]);
};
