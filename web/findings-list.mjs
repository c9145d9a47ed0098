// The findings as a list of any length that lays out only the rows in view (and the row that
// holds the keyboard's place), each a button that chooses its finding. The list is one stop of
// the Tab key; the arrow keys, Page Up and Down, Home and End move between its rows.

/** Rows laid out above and below those in view, so that scrolling seldom shows a gap. */
const SPARE = 10;

export class FindingsList {
  /**
   * `view` scrolls, `list` (an <ol> inside it) holds the rows; `choose(index)` is called when the
   * finding at `index` is chosen with the mouse or the keyboard.
   */
  constructor(view, list, choose) {
    this.view = view;
    this.list = list;
    this.findings = [];
    this.rows = new Map(); // index -> its <li>, for the rows laid out
    this.current = 0; // the row that Tab reaches
    this.rowHeight = 0;
    this.drawing = false;
    list.addEventListener('click', (event) => {
      const button = event.target.closest('button.finding');
      if (!button) return;
      this.current = Number(button.dataset.index);
      choose(this.current);
    });
    list.addEventListener('keydown', (event) => this.key(event));
    list.addEventListener('focusin', (event) => {
      const button = event.target.closest('button.finding');
      if (button) this.moveTo(Number(button.dataset.index), false);
    });
    view.addEventListener('scroll', () => {
      if (this.drawing) return;
      this.drawing = true;
      requestAnimationFrame(() => this.draw());
    });
  }

  /** Lists `findings` (each with line, column, severity, message and code). */
  set(findings) {
    this.findings = findings;
    this.current = Math.min(this.current, Math.max(0, findings.length - 1));
    if (!this.rowHeight && findings.length > 0) {
      const probe = this.row(0);
      this.list.append(probe);
      this.rowHeight = probe.getBoundingClientRect().height || 36;
      probe.remove();
    }
    this.list.style.height = `${findings.length * this.rowHeight}px`;
    // The rows laid out show the new findings at their indices, so a focused row keeps focus.
    for (const [index, item] of this.rows) {
      if (index < findings.length) this.fill(item, index);
    }
    this.draw();
  }

  /** Lays out the rows in view and the current one; takes away the others. */
  draw() {
    this.drawing = false;
    const count = this.findings.length;
    const height = this.rowHeight || 1;
    const first = Math.max(0, Math.floor(this.view.scrollTop / height) - SPARE);
    const end = Math.min(count, Math.ceil((this.view.scrollTop + this.view.clientHeight) / height) + SPARE);
    const wanted = (index) => (index >= first && index < end) || index === this.current;
    for (const [index, item] of this.rows) {
      if (index >= count || !wanted(index)) {
        item.remove();
        this.rows.delete(index);
      }
    }
    for (let index = first; index < end; ++index) this.add(index);
    if (this.current < count) this.add(this.current);
  }

  add(index) {
    if (this.rows.has(index)) return;
    const item = this.row(index);
    this.rows.set(index, item);
    this.list.append(item);
  }

  /** A new row for the finding at `index`. */
  row(index) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    for (const name of ['where', 'severity', 'message']) {
      const part = document.createElement('span');
      part.className = name;
      button.append(part);
    }
    button.append(document.createElement('code'));
    item.append(button);
    this.fill(item, index);
    return item;
  }

  /** Shows the finding at `index` in the row `item`. */
  fill(item, index) {
    const finding = this.findings[index];
    const button = item.firstChild;
    const [where, severity, message, code] = button.children;
    item.style.top = `${index * this.rowHeight}px`;
    item.setAttribute('aria-posinset', String(index + 1));
    item.setAttribute('aria-setsize', String(this.findings.length));
    button.className = `finding ${finding.severity}`;
    button.dataset.index = String(index);
    button.tabIndex = index === this.current ? 0 : -1;
    where.textContent = `${finding.line}:${finding.column}`;
    severity.textContent = finding.severity;
    message.textContent = finding.message;
    code.textContent = finding.code;
    button.title = finding.message;
    button.setAttribute('aria-label', `Line ${finding.line}, column ${finding.column}, ` +
      `${finding.severity}: ${finding.message} (${finding.code})`);
  }

  /** Makes `index` the row that Tab reaches, in view; focused if `focus`. */
  moveTo(index, focus = true) {
    const count = this.findings.length;
    if (count === 0) return;
    index = Math.max(0, Math.min(count - 1, index));
    const previous = this.rows.get(this.current);
    if (previous) previous.firstChild.tabIndex = -1;
    this.current = index;
    const top = index * this.rowHeight;
    if (top < this.view.scrollTop) {
      this.view.scrollTop = top;
    } else if (top + this.rowHeight > this.view.scrollTop + this.view.clientHeight) {
      this.view.scrollTop = top + this.rowHeight - this.view.clientHeight;
    }
    this.draw();
    const button = this.rows.get(index).firstChild;
    button.tabIndex = 0;
    if (focus) button.focus({ preventScroll: true });
  }

  key(event) {
    const page = Math.max(1, Math.floor(this.view.clientHeight / (this.rowHeight || 1)) - 1);
    const moves = {
      ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page,
      Home: -Infinity, End: Infinity,
    };
    if (!(event.key in moves) || event.altKey || event.ctrlKey || event.metaKey) return;
    event.preventDefault();
    const to = this.current + moves[event.key];
    this.moveTo(Number.isFinite(to) ? to : to > 0 ? this.findings.length - 1 : 0);
  }
}
