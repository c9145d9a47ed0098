// Converts and checks each text the page sends, away from the page's own thread, so that typing
// never waits for a conversion.

import { check, convert, init, KessaSyntaxError } from './kessa/browser.mjs';

// How many findings go back to the page, which lists no more at once.
const SHOWN = 500;

const ready = init();

/** Where each line of `text` starts, for the page to lay out only the lines in view. */
function lineStarts(text) {
  const starts = [0];
  for (let at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) starts.push(at + 1);
  return Uint32Array.from(starts);
}

self.onmessage = async ({ data }) => {
  try {
    await ready;
  } catch (error) {
    self.postMessage({ id: data.id, failure: `the converter could not be loaded: ${error.message}` });
    return;
  }
  const started = performance.now();
  let json = null;
  let findings;
  try {
    try {
      json = convert(data.text);
    } catch (error) {
      if (!(error instanceof KessaSyntaxError)) throw error;
    }
    findings = check(data.text);
  } catch (error) {
    self.postMessage({ id: data.id, failure: error.message });
    return;
  }
  const starts = json === null ? new Uint32Array([0]) : lineStarts(json);
  self.postMessage({
    id: data.id,
    json,
    starts,
    findings: findings.slice(0, SHOWN),
    count: findings.length,
    fault: json === null ? findings[findings.length - 1] : null,
    milliseconds: performance.now() - started,
  }, [starts.buffer]);
};
