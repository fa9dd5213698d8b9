// The VS Code extension's grammar, found through its package.json and run by VS Code's own
// tokenizer: markers, statement words, the operator a condition splits at, the assembly's own
// parts, and the colours the default Light+ and Dark+ token colours give them.
//
//   node grammar.js SOURCE_DIR                 exit 0 pass, 1 fail, 77 skipped
'use strict';
let tm, onig;
try {
  tm = require('vscode-textmate');
  onig = require('vscode-oniguruma');
} catch (e) {
  console.log('SKIP: the npm packages are missing; run `npm ci` in tests/lsp');
  process.exit(77);
}
const fs = require('node:fs');
const path = require('node:path');

const src = path.resolve(process.argv[2]);
const ext = path.join(src, 'editors/vscode');
const pkg = JSON.parse(fs.readFileSync(path.join(ext, 'package.json'), 'utf8'));
const contributed = pkg.contributes.grammars.find((g) => g.language === 'nestasm');

// Each line, and what part of it must carry which scope (null: no marker, statement or operator scope).
const M = 'keyword.other.operator.marker.nestasm', K = 'keyword.control.nestasm';
const O = 'keyword.operator.expression.comparison.nestasm', C = 'comment.line.semicolon.nestasm';
const I = 'keyword.other.instruction.nestasm', R = 'variable.other.register.nestasm';
const N = 'constant.numeric.nestasm', D = 'support.type.directive.nestasm';
const L = 'entity.name.function.label.nestasm', S = 'string.quoted.double.nestasm';
const rows = [
  ['while ecx != 0', [['while', K], ['!=', O]]],
  ['& & if EAX > 7', [['&', M], ['&', M, 1], ['if', K], ['>', O]]],
  ['IF eax == 1', [['IF', K]]],
  ['&\tif eax == 1', [['&', M], ['if', K]]],         // a tab after the markers
  ['\t&if eax == 1', [['&', null], ['if', null]]],    // a tab before them: text
  ['endif', [['endif', null]]],
  ['if(eax==1)', [['if', null], ['==', null]]],
  ['if eax > 1 ; x == y', [['==', O], ['>', null], ['; x', C]]],
  ['while ecx < MAX_RESULTS', [['ULT', O], ['<', null]]],
  ["if al != '=='", [['==', O], ['!=', null]]],
  ['elif eax >= 5', [['elif', K], ['>=', O]]],
  ['if eax ult 5', [['ult', null]]],
  ['else if eax == 2', [['else', K], ['if', null], ['==', null]]],
  ['& end ; loop', [['&', M], ['end', K]]],
  ['& & ; note', [['&', M], ['&', M, 1], ['; note', C]]],
  ["mov al, ';' ; c", [["';'", 'string.quoted.single.nestasm'], ['; c', C], ['mov', I], ['al', R]]],
  // The assembly keeps its colours, on plain lines and inside conditions.
  ['& & inc ecx', [['&', M], ['inc', I], ['ecx', R]]],
  ['text:   db "Hi", 0', [['text', L], ['db', D], ['"Hi"', S], ['0', N]]],
  ['section .data', [['section', D], ['.data', null]]],
  ['        mov byte [rdi], 10', [['mov', I], ['byte', 'storage.modifier.size.nestasm'], ['rdi', R], ['10', N]]],
  ['while byte [rsi] != 0x0A', [['rsi', R], ['0x0A', N], ['!=', O]]],
  ['        add r8d, 1Fh', [['r8d', R], ['1Fh', N]]],
  ['%define MAX 4', [['%define', 'meta.preprocessor.nestasm'], ['4', N]]],
  ['mov eaxy, rax2', [['eaxy', null], ['rax2', null]]],
];
// Each of these parts must have a colour of its own, not the editor's text colour, in both
// default themes (Light and Dark Modern take their token colours from Light+ and Dark+).
const coloured = [['& & if eax == 1', ['&', 'if', '==']], ['& elif al ULT 5', ['&', 'elif', 'ULT', 'al', '5']],
  ['& end', ['&', 'end']], ['loop: mov rax, "x" ; c', ['loop', 'mov', 'rax', '"x"', '; c']],
  ['section .text', ['section']]];

async function main() {
  const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
  await onig.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
  const registry = new tm.Registry({
    onigLib: Promise.resolve({ createOnigScanner: (p) => new onig.OnigScanner(p),
                               createOnigString: (s) => new onig.OnigString(s) }),
    loadGrammar: async (scope) => scope === contributed.scopeName
      ? tm.parseRawGrammar(fs.readFileSync(path.join(ext, contributed.path), 'utf8'), contributed.path)
      : null,
  });
  const grammar = await registry.loadGrammar(contributed.scopeName);
  const scopesOf = (line) => {
    const { tokens } = grammar.tokenizeLine(line, tm.INITIAL);
    return (at) => tokens.find((t) => t.startIndex <= at && at < t.endIndex).scopes;
  };
  let bad = 0;
  const fail = (m) => { console.log('FAIL: ' + m); bad = 1; };
  for (const [line, want] of rows) {
    const scopes = scopesOf(line);
    for (const [part, scope, nth = 0] of want) {
      let at = -1;
      for (let k = 0; k <= nth; ++k) at = line.indexOf(part, at + 1);
      const has = scopes(at);
      const ours = has.filter((s) => [M, K, O].includes(s));
      if (scope ? !has.includes(scope) : ours.length) fail(`${JSON.stringify(line)}: ${part} has ${has.join(' ')}`);
    }
  }
  // The shipped examples: each statement word, each marker and each comment line.
  const examples = path.join(src, 'examples');
  for (const name of fs.readdirSync(examples).filter((f) => f.endsWith('.s'))) {
    const lines = fs.readFileSync(path.join(examples, name), 'utf8').split('\n');
    lines.forEach((line, i) => {
      const scopes = scopesOf(line);
      const m = /^([ &]*)(\S*)/.exec(line);
      for (let k = 0; k < m[1].length; ++k)
        if (m[1][k] === '&' && !scopes(k).includes(M)) fail(`${name}:${i + 1}: marker ${k + 1}`);
      if (/^(if|elif|else|while|end)$/i.test(m[2]) && !scopes(m[1].length).includes(K))
        fail(`${name}:${i + 1}: ${m[2]} is no keyword`);
      if (m[2].startsWith(';') && !scopes(line.length - 1).includes(C)) fail(`${name}:${i + 1}: no comment`);
    });
  }
  for (const name of ['light-plus', 'dark-plus']) {
    const theme = require(`tm-themes/themes/${name}.json`);
    registry.setTheme({ name, settings: theme.tokenColors });
    const colours = registry.getColorMap();
    const text = theme.colors['editor.foreground'].toLowerCase();
    for (const [line, parts] of coloured) {
      const t = grammar.tokenizeLine2(line, tm.INITIAL).tokens;
      for (const part of parts) {
        const at = line.indexOf(part);
        let k = 0;
        while (k + 2 < t.length && t[k + 2] <= at) k += 2;
        const fg = colours[tm.EncodedTokenAttributes
          ? tm.EncodedTokenAttributes.getForeground(t[k + 1]) : (t[k + 1] >>> 15) & 0x1ff];
        if (!fg || fg.toLowerCase() === text) fail(`${name}: ${part} in ${JSON.stringify(line)} has the text colour ${fg}`);
      }
    }
  }
  if (!bad) console.log(`ok: ${rows.length} lines, the examples and ${coloured.length} lines in two themes tokenized as nestasm reads them`);
  return bad;
}

main().then((bad) => process.exit(bad), (e) => { console.log('FAIL: ' + (e.stack || e)); process.exit(1); });
