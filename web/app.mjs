// The page: the text in an editor that copes with megabytes (CodeMirror, which lays out only the
// lines in view), kessa to JSON or, switched, JSON to kessa. Each change goes to a worker, which
// keeps its own copy of the text, converts and checks it; the page shows the latest answer, its
// findings underlined in the text and listed. While the worker is busy, the changes wait and go
// together once it answers, so a large text never queues conversions behind the typing; the
// answer to an older text is shown meanwhile, its places carried over the changes since.

import { syntaxHighlighting } from '@codemirror/language';
import { setDiagnostics } from '@codemirror/lint';
import { defaultKeymap, history, historyKeymap, insertNewline } from '@codemirror/commands';
import { highlightSelectionMatches, searchKeymap } from '@codemirror/search';
import { ChangeSet, Compartment, EditorState } from '@codemirror/state';
import { drawSelection, EditorView, highlightSpecialChars, keymap, lineNumbers } from '@codemirror/view';
import { classHighlighter } from '@lezer/highlight';
import { FindingsList } from './findings-list.mjs';
import { kessa } from './kessa-language.mjs';

const host = document.getElementById('kessa');
const inputLabel = document.getElementById('input-label');
const outputLabel = document.getElementById('json-label');
const directions = document.querySelectorAll('input[name="direction"]');
const json = document.getElementById('json');
const spacer = json.querySelector('.spacer');
const lines = json.querySelector('.lines');
const copyJson = document.getElementById('copy-json');
const status = document.getElementById('status');
const link = document.getElementById('link');
const copy = document.getElementById('copy');

const SAMPLE = `name=demo
version=1.10
port=08080
box={w=10
h=20
}
tags={red,"dark blue",7}
limits={}
id=12345678901234567
`;

const JSON_SAMPLE = `{
    "name": "demo",
    "version": "1.10",
    "port": 8080,
    "debug": false,
    "box": {"w": 10, "h": 20},
    "tags": ["red", "dark blue", 7]
}
`;

// What each direction reads and writes, and the fragment of a link to its text.
const DIRECTIONS = {
  kessa: { input: 'Kessa text', output: 'JSON', copy: 'Copy the JSON', copied: 'The JSON is copied.',
    none: 'No JSON: the text is malformed.', sample: SAMPLE, fragment: '#text=' },
  json: { input: 'JSON text', output: 'Kessa text', copy: 'Copy the kessa text',
    copied: 'The kessa text is copied.', none: 'No kessa text: see why below.',
    sample: JSON_SAMPLE, fragment: '#json=' },
};

// The findings' severities as the editor's underlines have them.
const SEVERITIES = { error: 'error', warning: 'warning', note: 'info' };

const worker = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
let sent = 0; // the number of the last message to the worker
let direction = 'kessa'; // what the text on the left is
let busy = false; // whether the worker has a text
let stale = false; // whether the text or the direction changed since the worker's text
let scheduled = false; // a message to the worker is to be sent at the end of this task
let unsent = ChangeSet.empty(0); // the changes since the worker's text
let sinceShown = ChangeSet.empty(0); // the changes since the text of the answer shown
let shown = { findings: [], places: new Uint32Array(0) }; // that answer's findings and places
let output = { text: '', starts: new Uint32Array([0]) }; // the JSON shown, and its lines' starts
let lineHeight = 0; // of the JSON's lines, in pixels, measured once
let drawing = false; // a frame is asked for to lay out the lines in view

const language = new Compartment();
const view = new EditorView({
  parent: host,
  state: EditorState.create({
    extensions: [
      lineNumbers(),
      highlightSpecialChars(),
      history(),
      drawSelection(),
      highlightSelectionMatches(),
      language.of(kessa),
      syntaxHighlighting(classHighlighter),
      // Enter adds a line break alone: blanks in front of a value can change what it is.
      keymap.of([{ key: 'Enter', run: insertNewline }, ...defaultKeymap, ...historyKeymap, ...searchKeymap]),
      EditorView.contentAttributes.of({
        'aria-labelledby': 'input-label', 'aria-describedby': 'status',
        autocapitalize: 'off', autocorrect: 'off', spellcheck: 'false',
      }),
      EditorView.updateListener.of((update) => {
        if (!update.docChanged) return;
        performance.mark('kessa-edit');
        unsent = unsent.compose(update.changes);
        sinceShown = sinceShown.compose(update.changes);
        request();
      }),
    ],
  }),
});
// The editor, for scripts that drive the page as a whole: its tests and its benchmark.
host.editorView = view;

/** The text in the editor. */
const text = () => view.state.doc.toString();

/** Puts `value` in the editor in place of its text. */
function setText(value) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: value } });
}

/**
 * Has the worker convert the text as it is now, once it is free: at the end of this task, so
 * that the changes a task makes together go together.
 */
function request() {
  stale = true;
  json.setAttribute('aria-busy', 'true');
  if (busy || scheduled) return;
  scheduled = true;
  queueMicrotask(() => {
    scheduled = false;
    if (!busy) send();
  });
}

function send() {
  const changes = [];
  unsent.iterChanges((from, to, _fromB, _toB, inserted) => changes.push([from, to, inserted.toString()]));
  unsent = ChangeSet.empty(view.state.doc.length);
  busy = true;
  stale = false;
  worker.postMessage({ id: ++sent, changes, direction });
}

worker.addEventListener('message', ({ data }) => {
  busy = false;
  // The changes made since the text it answers, to carry its places over.
  sinceShown = unsent;
  const current = !stale;
  if (stale) send();
  show(data, current);
});

worker.addEventListener('error', (event) => {
  status.textContent = `The converter could not start: ${event.message || 'this browser cannot run it'}.`;
});

function plural(count, word) {
  return `${count} ${word}${count === 1 ? '' : 's'}`;
}

/** Where the finding at `index` is in the text now: [from, to]. */
function placeOf(index) {
  const from = sinceShown.mapPos(shown.places[2 * index], 1);
  return [from, Math.max(from, sinceShown.mapPos(shown.places[2 * index + 1], -1))];
}

/** Shows the worker's answer: for the text as it is now if `current`, else for an older one. */
function show(answer, current) {
  if (answer.failure) {
    status.textContent = `The conversion failed: ${answer.failure}`;
    return;
  }
  const started = performance.now();
  if (current && performance.getEntriesByName('kessa-edit', 'mark').length > 0) {
    // How long an edit took to show, drawn, for the page's benchmark (bench/page_update.mjs).
    requestAnimationFrame(() => setTimeout(() => {
      if (performance.getEntriesByName('kessa-edit', 'mark').length === 0) return; // measured
      performance.clearMeasures('kessa-update');
      performance.measure('kessa-update', 'kessa-edit');
      performance.clearMarks('kessa-edit');
    }));
  }
  showOutput(answer.output, answer.starts);
  if (current) json.removeAttribute('aria-busy');
  shown = { findings: answer.findings, places: answer.places };
  view.dispatch(setDiagnostics(view.state, answer.findings.map((finding, index) => {
    const [from, to] = placeOf(index);
    return { from, to, severity: SEVERITIES[finding.severity] ?? 'info', message: finding.message, source: finding.code };
  })));
  findings.set(answer.findings);
  const count = answer.findings.length;
  const fault = answer.fault;
  if (fault) {
    const what = answer.direction === 'json' ? 'Malformed JSON' : 'Malformed';
    status.textContent = `${what} at line ${fault.line}, column ${fault.column}: ${fault.message}.`;
  } else if (answer.refused > 0) {
    status.textContent = `Not converted: ${plural(answer.refused, 'value')} ${answer.refused === 1 ? 'has' : 'have'} no kessa text.`;
  } else if (answer.direction === 'json') {
    status.textContent = `Converted. ${count === 0 ? 'No findings.' : `${plural(count, 'finding')}.`}`;
  } else {
    const found = count === 0
      ? 'No findings: the JSON says what the text says.'
      : `${plural(count, 'finding')}.`;
    status.textContent = `Converted. ${found}`;
  }
  // The page's share of an update, and the worker's, for the page's benchmark.
  performance.clearMeasures('kessa-show');
  performance.measure('kessa-show', { start: started, detail: { worker: answer.milliseconds } });
}

/** Shows the output whose lines start at `starts`; null where there is none. */
function showOutput(text, starts) {
  output = text === null ? { text: '', starts: new Uint32Array([0]) } : { text, starts };
  json.classList.toggle('empty', text === null);
  if (!lineHeight) {
    lines.textContent = 'x';
    lineHeight = lines.getBoundingClientRect().height || 20;
  }
  spacer.style.height = `${output.starts.length * lineHeight}px`;
  drawLines();
}

/** Lays out the lines in view, and as many again above and below them. */
function drawLines() {
  drawing = false;
  const { text, starts } = output;
  if (json.classList.contains('empty')) {
    lines.style.transform = '';
    lines.textContent = DIRECTIONS[direction].none;
    return;
  }
  const inView = Math.ceil(json.clientHeight / lineHeight) + 1;
  const first = Math.max(0, Math.floor(json.scrollTop / lineHeight) - inView);
  const end = Math.min(starts.length, first + 3 * inView);
  lines.style.transform = `translateY(${first * lineHeight}px)`;
  lines.textContent = text.slice(starts[first], end < starts.length ? starts[end] - 1 : text.length);
}

json.addEventListener('scroll', () => {
  if (!drawing) {
    drawing = true;
    requestAnimationFrame(drawLines);
  }
});

copyJson.addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText(output.text);
    status.textContent = DIRECTIONS[direction].copied;
  } catch {
    status.textContent = 'The JSON could not be copied here.';
  }
});

// A finding chosen selects its place in the text, brought into view.
const findings = new FindingsList(document.getElementById('findings-view'), document.getElementById('findings'),
  (index) => {
    const [from, to] = placeOf(index);
    view.dispatch({ selection: { anchor: from, head: to }, scrollIntoView: true });
    view.focus();
  });

/** The text as the link can hold it: a lone surrogate becomes U+FFFD, as UTF-8 would make it. */
function wellFormed(text) {
  return text.replace(/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/g,
    '\uFFFD');
}

function linkToText() {
  const fragment = DIRECTIONS[direction].fragment;
  return `${location.href.split('#')[0]}${fragment}${encodeURIComponent(wellFormed(text()))}`;
}

/** Makes the page read `to` on the left: its labels, its colours and its radio button checked. */
function setDirection(to) {
  if (to !== direction) {
    direction = to;
    view.dispatch({ effects: language.reconfigure(to === 'kessa' ? kessa : []) });
    request();
  }
  const words = DIRECTIONS[to];
  inputLabel.textContent = words.input;
  outputLabel.textContent = words.output;
  copyJson.textContent = words.copy;
  for (const radio of directions) radio.checked = radio.value === to;
}

// Switched, the page goes on from what it shows: the output becomes the text, or where there is
// none, the other side's sample.
for (const radio of directions) {
  radio.addEventListener('change', () => {
    if (!radio.checked || radio.value === direction) return;
    const carried = json.classList.contains('empty') ? null : output.text;
    setDirection(radio.value);
    setText(carried ?? DIRECTIONS[direction].sample);
  });
}

// The link is made when it is about to be used, not as one types: a large text makes a long one.
for (const event of ['pointerenter', 'focus', 'contextmenu', 'click']) {
  link.addEventListener(event, () => {
    link.href = linkToText();
  });
}

copy.addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText(linkToText());
    status.textContent = 'The link to this text is copied.';
  } catch {
    status.textContent = 'The link could not be copied here: open it with "Link to this text" ' +
      'and copy it from the address bar.';
  }
});

/** Takes the text from the address's fragment, if it holds one; says whether it did. */
function loadFromFragment() {
  const to = Object.keys(DIRECTIONS).find((name) => location.hash.startsWith(DIRECTIONS[name].fragment));
  if (!to) return false;
  let value;
  try {
    value = decodeURIComponent(location.hash.slice(DIRECTIONS[to].fragment.length));
  } catch {
    status.textContent = 'The text in this link is damaged and could not be read.';
    return true;
  }
  // Following the link to the text already shown changes nothing, not even the selection.
  if (to !== direction || value !== wellFormed(text())) {
    setDirection(to);
    setText(value);
  }
  return true;
}

window.addEventListener('hashchange', loadFromFragment);
if (!loadFromFragment()) setText(SAMPLE);

if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
  navigator.serviceWorker.register('./sw.js').catch(() => {
    // Without it the page still works; it only will not open offline.
  });
}
