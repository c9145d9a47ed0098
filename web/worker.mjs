// Converts and checks each text the page sends, kessa to JSON or JSON to kessa, away from the
// page's own thread, so that typing never waits for a conversion.

import { check, convert, init, KessaSyntaxError } from './kessa/browser.mjs';
import { convertJson } from './kessa/kessa.mjs';

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
  let output = null;
  let findings;
  try {
    if (data.direction === 'json') {
      ({ kessa: output, findings } = convertJson(data.text));
    } else {
      try {
        output = convert(data.text);
      } catch (error) {
        if (!(error instanceof KessaSyntaxError)) throw error;
      }
      findings = check(data.text);
    }
  } catch (error) {
    self.postMessage({ id: data.id, failure: error.message });
    return;
  }
  const starts = output === null ? new Uint32Array([0]) : lineStarts(output);
  const fault = findings.at(-1)?.code === 'malformed' ? findings.at(-1) : null;
  self.postMessage({
    id: data.id,
    direction: data.direction,
    output,
    starts,
    findings: findings.slice(0, SHOWN),
    count: findings.length,
    fault,
    // Values that no kessa text gives: the reason there is no output, when the text is JSON.
    refused: data.direction === 'json' && !fault ? findings.filter((f) => f.severity === 'error').length : 0,
    milliseconds: performance.now() - started,
  }, [starts.buffer]);
};
