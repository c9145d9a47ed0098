// The page: each change of the text goes to a worker, which converts and checks it, kessa to JSON
// or, switched, JSON to kessa; the page shows the latest answer. While the worker is busy, only
// the newest text waits, so a large text never queues up conversions behind the typing.

const kessa = document.getElementById('kessa');
const inputLabel = document.getElementById('input-label');
const outputLabel = document.getElementById('json-label');
const directions = document.querySelectorAll('input[name="direction"]');
const json = document.getElementById('json');
const spacer = json.querySelector('.spacer');
const lines = json.querySelector('.lines');
const copyJson = document.getElementById('copy-json');
const status = document.getElementById('status');
const list = document.getElementById('findings');
const more = document.getElementById('more');
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

const worker = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
let sent = 0; // the number of the last text sent to the worker
let direction = 'kessa'; // what the text on the left is
let busy = false; // whether the worker has a text
let waiting = false; // whether the text changed since
let shown = []; // the findings listed, by their buttons' data-index
let output = { text: '', starts: new Uint32Array([0]) }; // the JSON shown, and its lines' starts
let lineHeight = 0; // of the JSON's lines, in pixels, measured once
let drawing = false; // a frame is asked for to lay out the lines in view

function update() {
  json.setAttribute('aria-busy', 'true');
  if (busy) {
    waiting = true;
    return;
  }
  busy = true;
  waiting = false;
  worker.postMessage({ id: ++sent, text: kessa.value, direction });
}

worker.addEventListener('message', ({ data }) => {
  busy = false;
  if (waiting) {
    update(); // this answer is for an older text: the next one will be shown instead
    return;
  }
  show(data);
});

worker.addEventListener('error', (event) => {
  status.textContent = `The converter could not start: ${event.message || 'this browser cannot run it'}.`;
});

function plural(count, word) {
  return `${count} ${word}${count === 1 ? '' : 's'}`;
}

function show(answer) {
  if (answer.failure) {
    status.textContent = `The conversion failed: ${answer.failure}`;
    return;
  }
  const started = performance.now();
  if (performance.getEntriesByName('kessa-edit', 'mark').length > 0) {
    // How long an edit took to show, drawn, for the page's benchmark (bench/page_update.mjs).
    requestAnimationFrame(() => setTimeout(() => {
      performance.clearMeasures('kessa-update');
      performance.measure('kessa-update', 'kessa-edit');
      performance.clearMarks('kessa-edit');
    }));
  }
  showOutput(answer.output, answer.starts);
  json.removeAttribute('aria-busy');
  shown = answer.findings;
  const items = answer.findings.map((finding, index) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = `finding ${finding.severity}`;
    button.dataset.index = String(index);
    const where = document.createElement('span');
    where.className = 'where';
    where.textContent = `${finding.line}:${finding.column}`;
    const severity = document.createElement('span');
    severity.className = 'severity';
    severity.textContent = finding.severity;
    const message = document.createElement('span');
    message.className = 'message';
    message.textContent = finding.message;
    const code = document.createElement('code');
    code.textContent = finding.code;
    button.append(where, severity, message, code);
    button.setAttribute('aria-label', `Line ${finding.line}, column ${finding.column}, ` +
      `${finding.severity}: ${finding.message} (${finding.code})`);
    item.append(button);
    return item;
  });
  list.replaceChildren(...items);
  const hidden = answer.count - answer.findings.length;
  more.hidden = hidden === 0;
  more.textContent = hidden > 0 ? `${plural(hidden, 'more finding')} not listed.` : '';
  const fault = answer.fault;
  if (fault) {
    const what = answer.direction === 'json' ? 'Malformed JSON' : 'Malformed';
    status.textContent = `${what} at line ${fault.line}, column ${fault.column}: ${fault.message}.`;
  } else if (answer.refused > 0) {
    status.textContent = `Not converted: ${plural(answer.refused, 'value')} ${answer.refused === 1 ? 'has' : 'have'} no kessa text.`;
  } else if (answer.direction === 'json') {
    status.textContent = `Converted. ${answer.count === 0 ? 'No findings.' : `${plural(answer.count, 'finding')}.`}`;
  } else {
    const found = answer.count === 0
      ? 'No findings: the JSON says what the text says.'
      : `${plural(answer.count, 'finding')}.`;
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

/** The index in `text` of a line and column, both from 1, columns counting characters. */
function indexAt(text, line, column) {
  let index = 0;
  for (let at = 1; at < line; ++at) {
    const next = text.indexOf('\n', index);
    if (next < 0) return text.length;
    index = next + 1;
  }
  for (let at = 1; at < column && index < text.length; ++at) {
    const code = text.codePointAt(index);
    index += code > 0xFFFF ? 2 : 1;
  }
  return index;
}

list.addEventListener('click', (event) => {
  const button = event.target.closest('button.finding');
  if (!button) return;
  const finding = shown[Number(button.dataset.index)];
  const text = kessa.value;
  const start = indexAt(text, finding.line, finding.column);
  const end = Math.max(start, indexAt(text, finding.endLine, finding.endColumn));
  kessa.focus();
  kessa.setSelectionRange(start, end);
  // Bring the place into view: a textarea does not scroll to a selection made by script.
  const lineHeight = parseFloat(getComputedStyle(kessa).lineHeight) || 20;
  kessa.scrollTop = Math.max(0, (finding.line - 3) * lineHeight);
});

/** The text as the link can hold it: a lone surrogate becomes U+FFFD, as UTF-8 would make it. */
function wellFormed(text) {
  return text.replace(/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/g,
    '\uFFFD');
}

function linkToText() {
  const fragment = DIRECTIONS[direction].fragment;
  return `${location.href.split('#')[0]}${fragment}${encodeURIComponent(wellFormed(kessa.value))}`;
}

/** Makes the page read `to` on the left: its labels, and its radio button checked. */
function setDirection(to) {
  direction = to;
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
    kessa.value = carried ?? DIRECTIONS[direction].sample;
    update();
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
  let text;
  try {
    text = decodeURIComponent(location.hash.slice(DIRECTIONS[to].fragment.length));
  } catch {
    status.textContent = 'The text in this link is damaged and could not be read.';
    return true;
  }
  // Following the link to the text already shown changes nothing, not even the selection.
  if (to !== direction || text !== wellFormed(kessa.value)) {
    setDirection(to);
    kessa.value = text;
    update();
  }
  return true;
}

window.addEventListener('hashchange', loadFromFragment);
kessa.addEventListener('input', () => {
  performance.mark('kessa-edit');
  update();
});
if (!loadFromFragment()) {
  kessa.value = SAMPLE;
  update();
}

if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
  navigator.serviceWorker.register('./sw.js').catch(() => {
    // Without it the page still works; it only will not open offline.
  });
}
