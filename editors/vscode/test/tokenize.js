// Tokenizes text with the extension's grammar through the engine VS Code uses, line by line with
// the state carried over, as an editor does.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const textmate = require('vscode-textmate');
const oniguruma = require('vscode-oniguruma');

const root = path.join(__dirname, '..');
const grammarPath = path.join(root, 'syntaxes', 'kessa.tmLanguage.json');

async function loadGrammar() {
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (sources) => new oniguruma.OnigScanner(sources),
      createOnigString: (text) => new oniguruma.OnigString(text),
    }),
    loadGrammar: async (scopeName) =>
      scopeName === 'source.kessa'
        ? textmate.parseRawGrammar(fs.readFileSync(grammarPath, 'utf8'), grammarPath)
        : null,
  });
  return registry.loadGrammar('source.kessa');
}

/// The tokens of each line of `text`: {line, start, end, text, scopes}.
function tokenize(grammar, text) {
  const tokens = [];
  let state = textmate.INITIAL;
  text.split('\n').forEach((line, index) => {
    const result = grammar.tokenizeLine(line, state);
    for (const token of result.tokens) {
      tokens.push({
        line: index,
        start: token.startIndex,
        end: Math.min(token.endIndex, line.length),
        text: line.slice(token.startIndex, token.endIndex),
        scopes: token.scopes,
      });
    }
    state = result.ruleStack;
  });
  return tokens;
}

module.exports = { loadGrammar, tokenize };
