// Kessa's tokens for the editor's colours, read a line at a time as the reader reads the text:
// keys (the text before an equals sign), numbers (an unquoted value that is a numeral up to its
// end, or a quoted one that still reads as a number once its tabs are dropped), other text,
// quoted values (up to the next double quote, line breaks included, no escapes), `=`, braces and
// commas, and a right brace that closes nothing.

import { StreamLanguage } from '@codemirror/language';

const NUMERAL = /^[+-]?(?:0[xX](?:[0-9a-fA-F]+(?:\.[0-9a-fA-F]*)?|\.[0-9a-fA-F]+)(?:[pP][+-]?[0-9]+)?|[0-9]+(?:\.[0-9]*)?(?:[eE][+-]?[0-9]+)?)$/;
// Blanks the reader strips around an unquoted value; the typing also skips these before one.
const BLANKS = /^[ \t\r\v\f]+/;
// A run of text up to the next separator, less the blanks at its end.
const RUN = /^[^={},]*[^={},\s]/;
// The first character after blanks, or none at the line's end.
const NEXT = /[ \t\r\v\f]*([^ \t\r\v\f]|$)/y;

/** Whether the quoted value that starts at `open` closes on its line and reads as a number. */
function quotedNumber(line, open) {
  const close = line.indexOf('"', open + 1);
  return close > 0 && NUMERAL.test(line.slice(open + 1, close).replaceAll('\t', '').replace(BLANKS, ''));
}

export const kessa = StreamLanguage.define({
  name: 'kessa',
  startState: () => ({
    depth: 0, // braces open
    quoted: null, // inside quotes: the token their content gets
    collected: false, // bytes read since the last separator: a double quote then is plain text
    pending: false, // a left brace whose kind is not known yet: line breaks are dropped meanwhile
  }),
  copyState: (state) => ({ ...state }),
  blankLine(state) {
    if (!state.pending && !state.quoted) state.collected = false;
  },
  token(stream, state) {
    if (stream.sol() && !state.pending && !state.quoted) state.collected = false;
    if (state.quoted) {
      if (stream.eat('"')) {
        state.quoted = null;
        state.collected = false;
        return 'string';
      }
      stream.skipTo('"') || stream.skipToEnd();
      return state.quoted;
    }
    if (stream.match(BLANKS)) {
      state.collected = true;
      return null;
    }
    const c = stream.next();
    if (c === '"' && !state.collected) {
      state.pending = false;
      state.quoted = quotedNumber(stream.string, stream.start) ? 'number' : 'string';
      return 'string';
    }
    if (c === '=' || c === ',' || c === '{' || c === '}') {
      state.collected = false;
      state.pending = c === '{';
      if (c === '=') return 'definitionOperator';
      if (c === ',') return 'separator';
      if (c === '{') {
        ++state.depth;
        return 'brace';
      }
      if (state.depth === 0) return 'invalid';
      --state.depth;
      return 'brace';
    }
    stream.backUp(1);
    if (!stream.match(RUN)) {
      stream.next(); // blanks other than the stripped ones, up to a separator
      state.collected = true;
      return null;
    }
    state.collected = true;
    NEXT.lastIndex = stream.pos;
    const after = NEXT.exec(stream.string)[1];
    if (after === '=') return 'propertyName';
    if ((after === '' || after === ',' || after === '}') && NUMERAL.test(stream.current())) return 'number';
    return 'string';
  },
});
