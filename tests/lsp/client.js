// nestasm-lsp through the client library VS Code's extensions use: every feature on the shipped
// examples, and on examples with a mistake put in.
//
//   node client.js BUILD_DIR SOURCE_DIR        exit 0 pass, 1 fail, 77 skipped
'use strict';
let lsp;
try {
  lsp = require('vscode-languageserver-protocol/node');
} catch (e) {
  console.log('SKIP: the npm packages are missing; run `npm ci` in tests/lsp');
  process.exit(77);
}
const assert = require('node:assert/strict');
const { outputLines, previewText } = require('../../editors/vscode/preview.js');
const { levelCommands } = require('../../editors/vscode/levels.js');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const [build, src] = process.argv.slice(2).map((p) => path.resolve(p));
const examples = path.join(src, 'examples');
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'nestasm-lsp-'));
setTimeout(() => { console.log('FAIL: no answer within 60 s'); process.exit(1); }, 60000).unref();

// One server, as an editor starts it.
const proc = spawn(path.join(build, 'nestasm-lsp'), ['--stdio'], { stdio: ['pipe', 'pipe', 'inherit'] });
const conn = lsp.createProtocolConnection(new lsp.StreamMessageReader(proc.stdout),
                                           new lsp.StreamMessageWriter(proc.stdin));
const published = new Map();  // uri -> [params], in the order they came
const waiting = [];
conn.onNotification(lsp.PublishDiagnosticsNotification.type, (p) => {
  if (!published.has(p.uri)) published.set(p.uri, []);
  published.get(p.uri).push(p);
  for (const w of waiting.splice(0)) w();
});
conn.listen();

// The diagnostics of `uri` once they are published for `version` (any, with none given).
async function diagnosticsOf(uri, version) {
  for (;;) {
    const got = (published.get(uri) || []).find((p) => version === undefined || p.version === version);
    if (got) return got.diagnostics;
    await new Promise((r) => waiting.push(r));
  }
}

let version = 0;
async function open(name, text) {
  const uri = 'file://' + path.join(tmp, name);
  conn.sendNotification(lsp.DidOpenTextDocumentNotification.type,
                        { textDocument: { uri, languageId: 'nestasm', version: ++version, text } });
  return { uri, diagnostics: await diagnosticsOf(uri, version) };
}
const doc = (uri) => ({ textDocument: { uri } });
const at = (uri, line, character = 0) => ({ ...doc(uri), position: { line, character } });
const lines = (r) => r.map((x) => (x.range ? x.range : x).start.line);

// nestasm-check's opinion of a text: its status and diagnostics.
function check(text) {
  const f = path.join(tmp, 'check.s');
  fs.writeFileSync(f, text);
  const r = spawnSync(path.join(build, 'nestasm-check'), ['--format=json', f], { encoding: 'utf8' });
  return { status: r.status, diags: JSON.parse(r.stdout || '[]') };
}

// A text with the protocol's edits made, the last first.
function applyEdits(text, edits) {
  const starts = [0];
  for (let i = 0; i < text.length; ++i) if (text[i] === '\n') starts.push(i + 1);
  const off = (p) => (p.line < starts.length ? Math.min(starts[p.line] + p.character, text.length) : text.length);
  const sorted = [...edits].sort((a, b) => off(b.range.start) - off(a.range.start));
  for (const e of sorted) text = text.slice(0, off(e.range.start)) + e.newText + text.slice(off(e.range.end));
  return text;
}

const read = (name) => fs.readFileSync(path.join(examples, name), 'utf8');
const swap = (text, n, from, to) => text.split('\n').map((l, i) => (i === n - 1 ? l.replace(from, to) : l)).join('\n');

// Each a shipped example with one mistake: the line, the code and the lines of its notes, and
// every quick fix offered for its diagnostics: the title, and each edit as "range newText".
const mistakes = [
  ['gcd, an end with a marker too many', swap(read('gcd.s'), 14, 'end', '& end'), 14, 'status 11', [9],
   [['Change `& end` to `end`', ['13:0-13:5 "end"']]]],
  ['classify, an else with a marker too few', swap(read('classify.s'), 31, '& else', 'else'), 31, 'status 8', [15],
   [['Change `else` to `& else`', ['30:0-30:4 "& else"']]]],
  ['classify, a blank line in a block', swap(read('classify.s'), 18, /$/, '\n'), 20, 'status 5', [19],
   [['Remove the blank line', ['18:0-19:0 ""']]]],
  ['count, a body line without its marker', swap(read('count.s'), 19, '& inc', 'inc'), 19, 'missing-end', [11],
   [['Insert the line `end`; Remove `end`', ['18:0-18:0 "end\\n"', '19:0-20:0 ""']]]],
  ['gcd, endif', swap(read('gcd.s'), 14, 'end', 'endif'), 14, 'not-a-statement', [],
   [['Change `endif` to `end`', ['13:0-13:5 "end"']]]],
  ['gcd, an immediate on the left', swap(read('gcd.s'), 9, 'ebx != 0', '0 != ebx'), 9, 'status 10', [],
   [['Change `0 != ebx` to `ebx != 0`', ['8:6-8:14 "ebx != 0"']]]],
  ['count, ult', swap(read('count.s'), 11, 'ULE', 'ule'), 11, 'status 9', [],
   [['Change `ule` to `ULE`', ['10:9-10:12 "ULE"']]]],
  ['classify, else with a condition', swap(read('classify.s'), 31, 'else', 'else if al == 1'), 31, 'else-text', [],
   [['Change `else if ` to `elif `', ['30:2-30:10 "elif "']]]],
];
const range = (r) => `${r.start.line}:${r.start.character}-${r.end.line}:${r.end.character}`;

// Each source line's output lines, as the preview shows them, on gcd.s; and a translation that
// stops at an end with a marker too many, the text up to the line before it.
async function translations() {
  const { uri } = await open('gcd-translation.s', read('gcd.s'));
  const tr = await conn.sendRequest('nestasm/translation', doc(uri));
  assert.deepEqual(tr.starts, [0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 17, 18, 19, 20]);
  const out = tr.text.split('\n');
  const shown = (line) => { const { start, end } = outputLines(tr, line); return out.slice(start, end); };
  assert.deepEqual(shown(8), ['.while_head_0:', 'cmp ebx, 0', 'je .while_end_1']);
  assert.deepEqual(shown(13), ['jmp .while_head_0', '.while_end_1:']);
  assert.deepEqual(shown(6), ['mov eax, 1071']);
  assert.deepEqual(outputLines(tr, 17), { start: 20, end: 20 });
  const { uri: bad } = await open('gcd-stopped.s', mistakes[0][1]);
  const st = await conn.sendRequest('nestasm/translation', doc(bad));
  assert.equal(st.stopped, 13);
  assert.equal(st.message, 'end bad');
  assert.equal(st.text, out.slice(0, 15).join('\n') + '\n');
  assert.deepEqual(st.starts.slice(11), [13, 14, 15, 15, 15, 15, 15]);
  // The preview says where and why in a first line of its own; every line below moves down one.
  const view = previewText(st).split('\n');
  assert.equal(view[0], '; translation stopped at line 14: end bad');
  assert.deepEqual(view.slice(1), st.text.split('\n'));
  assert.deepEqual(outputLines(st, 13), { start: 16, end: 16 });
  assert.deepEqual(outputLines(st, 12), { start: 15, end: 16 });
  assert.equal(previewText(tr), tr.text);
}

// Enter, the formatter and its range: the exact edits, and the text they make. Each case is a
// text, the request, and the edits as "range newText".
const edited = (edits) => edits.map((e) => `${range(e.range)} ${JSON.stringify(e.newText)}`);
async function editsOfMarkers() {
  const enter = [
    ['while ecx != 0\n\n', 1, ['1:0-1:0 "& "']],
    ['& & if eax == 1\n& & & inc eax\n\n', 2, ['2:0-2:0 "& & & "']],
    ['if eax == 1\n&inc eax\n\n', 2, ['2:0-2:0 "&"']],
    ['if eax == 1\ninc eax\n', 1, ['1:0-1:0 "& "']],
    ['while ecx != 0\n& inc eax\n& end\n\n', 3, ['2:0-2:2 ""']],
    ['if eax == 1\n& inc eax\n& elif eax == 2\n\n', 3, ['2:0-2:2 ""', '3:0-3:0 "& "']],
    ['while ecx != 0\n& & & x\n', 2, ['2:0-2:0 "& & & "']],
    ['while ecx != 0\n& inc eax\n& ', 2, []],
  ];
  let k = 0;
  for (const [text, line, want] of enter) {
    const { uri } = await open(`enter${++k}.s`, text);
    const got = await conn.sendRequest(lsp.DocumentOnTypeFormattingRequest.type,
      { ...at(uri, line), ch: '\n', options: { tabSize: 8, insertSpaces: true } });
    assert.deepEqual(edited(got), want, JSON.stringify(text));
  }
  const messy = 'if eax == 1\n&inc eax\n&   dec ebx   \n  ; as it stands  \nwhile ecx != 0\n&&loop\nend\nend\n';
  const { uri } = await open('messy.s', messy);
  const opts = { tabSize: 8, insertSpaces: true };
  const all = await conn.sendRequest(lsp.DocumentFormattingRequest.type, { ...doc(uri), options: opts });
  assert.deepEqual(edited(all), ['1:1-1:1 " "', '2:2-2:14 "dec ebx"', '5:1-5:2 " & "']);
  const tidy = applyEdits(messy, all);
  assert.equal(tidy, 'if eax == 1\n& inc eax\n& dec ebx\n  ; as it stands  \nwhile ecx != 0\n& & loop\nend\nend\n');
  const asm = (t) => { const f = path.join(tmp, 'fmt.s'); fs.writeFileSync(f, t);
                       return spawnSync(path.join(build, 'nestasm'), [f], { encoding: 'utf8' }); };
  assert.deepEqual([asm(tidy).status, asm(tidy).stdout], [asm(messy).status, asm(messy).stdout]);
  const part = await conn.sendRequest(lsp.DocumentRangeFormattingRequest.type,
    { ...doc(uri), range: { start: { line: 2, character: 3 }, end: { line: 5, character: 0 } }, options: opts });
  assert.deepEqual(edited(part), ['2:2-2:14 "dec ebx"']);
}

// One level deeper and shallower for the lines selected, beside the quick fixes and only where
// the request's kinds take them.
async function levels() {
  // Its style is "&&" (the first line of two markers shows it): a marker put in is one too.
  const text = 'while ecx != 0\n& inc eax\n&&dec ebx\nend\n';
  const { uri } = await open('levels.s', text);
  const ask = async (from, to, only) => {
    const got = await conn.sendRequest(lsp.CodeActionRequest.type,
      { ...doc(uri), range: { start: { line: from, character: 0 }, end: { line: to, character: 0 } },
        context: { diagnostics: [], ...(only ? { only } : {}) } });
    return got.map((a) => [a.title, a.kind, edited(a.edit.changes[uri])]);
  };
  const deeper = ['One level deeper', 'refactor.rewrite.deeper', ['1:1-1:1 "&"', '2:2-2:2 "&"']];
  const shallower = ['One level shallower', 'refactor.rewrite.shallower', ['1:0-1:2 ""', '2:1-2:2 ""']];
  assert.deepEqual(await ask(1, 3), [deeper, shallower]);
  assert.deepEqual(await ask(1, 3, ['refactor']), [deeper, shallower]);
  assert.deepEqual(await ask(1, 3, ['refactor.rewrite.shallower']), [shallower]);
  assert.deepEqual(await ask(1, 3, ['quickfix']), []);
  assert.deepEqual(await ask(1, 3, ['refactor.rewrite.deep']), []);
  assert.deepEqual(await ask(0, 0), [['One level deeper', 'refactor.rewrite.deeper', ['0:0-0:0 "& "']]]);
  // VS Code's commands and their keys run the actions of these kinds.
  const pkg = JSON.parse(fs.readFileSync(path.join(src, 'editors/vscode/package.json'), 'utf8'));
  assert.deepEqual(pkg.contributes.keybindings.map((k) => [k.command, k.key]),
                   [['nestasm.deeper', 'ctrl+]'], ['nestasm.shallower', 'ctrl+[']]);
  for (const [name, kind] of Object.entries(levelCommands)) {
    assert.ok(pkg.contributes.commands.some((c) => c.command === name), name);
    assert.deepEqual((await ask(1, 3, [kind])).map((a) => a[1]), [kind], name);
  }
  assert.equal(applyEdits(text, deeper[2].map((e) => {
    const [, l0, c0, l1, c1, t] = /^(\d+):(\d+)-(\d+):(\d+) (.*)$/.exec(e);
    return { range: { start: { line: +l0, character: +c0 }, end: { line: +l1, character: +c1 } }, newText: JSON.parse(t) };
  })), 'while ecx != 0\n&& inc eax\n&&&dec ebx\nend\n');
}

async function main() {
  const init = await conn.sendRequest(lsp.InitializeRequest.type, {
    processId: process.pid, rootUri: null,
    capabilities: { textDocument: {
      publishDiagnostics: { relatedInformation: true },
      hover: { contentFormat: ['markdown', 'plaintext'] },
      documentSymbol: { hierarchicalDocumentSymbolSupport: true } } },
  });
  const caps = init.capabilities;
  assert.equal(caps.positionEncoding, 'utf-16');
  for (const c of ['hoverProvider', 'definitionProvider', 'documentHighlightProvider',
                   'documentSymbolProvider', 'foldingRangeProvider', 'codeActionProvider',
                   'inlayHintProvider',
                   'documentFormattingProvider', 'documentRangeFormattingProvider'])
    assert.ok(caps[c], c);
  assert.deepEqual(caps.semanticTokensProvider,
                   { legend: { tokenTypes: ['keyword', 'macro', 'type'], tokenModifiers: [] },
                     full: true, range: true });
  assert.deepEqual(caps.documentOnTypeFormattingProvider, { firstTriggerCharacter: '\n' });
  assert.deepEqual(caps.codeActionProvider.codeActionKinds, ['quickfix', 'refactor.rewrite']);
  conn.sendNotification(lsp.InitializedNotification.type, {});

  // The shipped examples: no diagnostic; every statement's hover is a piece of nestasm's output.
  for (const name of fs.readdirSync(examples).filter((f) => f.endsWith('.s'))) {
    const text = read(name);
    const { uri, diagnostics } = await open(name, text);
    assert.deepEqual(diagnostics, [], name);
    fs.writeFileSync(path.join(tmp, name), text);
    assert.equal(spawnSync(path.join(build, 'nestasm'), [path.join(tmp, name)]).status, 0);
    const flat = fs.readFileSync(path.join(tmp, name.replace(/\.s$/, '.asm')), 'utf8');
    const asm = '\n' + flat;
    const tr = await conn.sendRequest('nestasm/translation', doc(uri));
    assert.equal(tr.text, flat, `${name}: the translation is nestasm's output`);
    assert.equal(tr.starts.length, text.split('\n').length - (text.endsWith('\n') ? 0 : -1), name);
    assert.equal(tr.stopped, undefined, name);
    const src = text.split('\n');
    for (let i = 0; i < src.length; ++i) {
      if (!/^[ &]*\s*(if|elif|else|while|end)(\s|$)/i.test(src[i])) continue;
      const h = await conn.sendRequest(lsp.HoverRequest.type, at(uri, i));
      const code = /```nasm\n([^]*?)\n```/.exec(h.contents.value);
      assert.ok(code && asm.includes('\n' + code[1] + '\n'), `${name}:${i + 1}: ${h.contents.value}`);
    }
  }

  // The blocks of classify.s: a loop around an if with six elif and an else.
  const { uri } = await open('classify.s', read('classify.s'));
  const folds = await conn.sendRequest(lsp.FoldingRangeRequest.type, doc(uri));
  assert.deepEqual(folds.map((f) => [f.startLine, f.endLine]),
                   [[14, 35], [16, 31], [16, 17], [18, 19], [20, 21], [22, 23], [24, 25], [26, 27], [28, 29], [30, 31]]);
  const chain = [16, 18, 20, 22, 24, 26, 28, 30, 32];
  for (const line of [16, 24, 32])
    assert.deepEqual(lines(await conn.sendRequest(lsp.DocumentHighlightRequest.type, at(uri, line, 3))), chain);
  assert.deepEqual(lines(await conn.sendRequest(lsp.DocumentHighlightRequest.type, at(uri, 36))), [14, 36]);
  assert.equal(await conn.sendRequest(lsp.DocumentHighlightRequest.type, at(uri, 17)), null);
  for (const [line, to] of [[30, 16], [32, 16], [36, 14]]) {
    const def = await conn.sendRequest(lsp.DefinitionRequest.type, at(uri, line));
    assert.deepEqual([def.uri, def.range.start.line], [uri, to], `definition of line ${line + 1}`);
  }
  assert.equal(await conn.sendRequest(lsp.DefinitionRequest.type, at(uri, 16)), null);
  const syms = await conn.sendRequest(lsp.DocumentSymbolRequest.type, doc(uri));
  const outline = (s) => s.map((x) => x.name + (x.children.length ? ' {' + outline(x.children) + '}' : '')).join(', ');
  assert.equal(outline(syms), "text, _start {while byte [rsi] != 0 {if al == ' '}}");
  const kinds = (s) => s.flatMap((x) => [x.kind, ...kinds(x.children)]);
  assert.deepEqual(kinds(syms), [lsp.SymbolKind.Variable, lsp.SymbolKind.Function,
                                 lsp.SymbolKind.Event, lsp.SymbolKind.Boolean]);
  // What each end closes, at the end of its line; only the lines asked for.
  const hints = async (from, to) => (await conn.sendRequest('textDocument/inlayHint',
    { ...doc(uri), range: { start: { line: from, character: 0 }, end: { line: to, character: 0 } } }))
    .map((h) => `${h.position.line}:${h.position.character} ${h.label}`);
  assert.deepEqual(await hints(0, 99), ["32:5 closes if al == ' ' (line 17)",
                                        '36:3 closes while byte [rsi] != 0 (line 15)']);
  assert.deepEqual(await hints(33, 36), ['36:3 closes while byte [rsi] != 0 (line 15)']);
  // Tokens, as "line:column:length:type": markers in two types by depth, statement words,
  // the operator the condition is split at.
  const tokens = (data) => {
    const r = [];
    for (let i = 0, line = 0, ch = 0; i < data.length; i += 5) {
      ch = data[i] === 0 ? ch + data[i + 1] : data[i + 1];
      line += data[i];
      r.push(`${line}:${ch}:${data[i + 2]}:${caps.semanticTokensProvider.legend.tokenTypes[data[i + 3]]}`);
    }
    return r.join(' ');
  };
  const full = await conn.sendRequest('textDocument/semanticTokens/full', doc(uri));
  assert.equal(tokens(full.data).split(' ').filter((t) => /^(14|16|17|18|32|36):/.test(t)).join(' '),
               '14:0:5:keyword 14:17:2:keyword 16:0:1:macro 16:2:2:keyword 16:8:2:keyword ' +
               '17:0:1:macro 17:2:1:type 18:0:1:macro 18:2:4:keyword 18:10:3:keyword ' +
               '32:0:1:macro 32:2:3:keyword 36:0:3:keyword');
  const part = await conn.sendRequest('textDocument/semanticTokens/range',
    { ...doc(uri), range: { start: { line: 17, character: 0 }, end: { line: 17, character: 9 } } });
  assert.equal(tokens(part.data), '17:0:1:macro 17:2:1:type');
  const hover = await conn.sendRequest(lsp.HoverRequest.type, at(uri, 29));
  assert.equal(hover.contents.value,
               'inside the while-block of line 15 and the if-block of line 17 (elif branch of line 29); depth 2');

  await translations();
  await editsOfMarkers();
  await levels();

  // Mistakes: the diagnostic with its notes as related information; the fixes offered are the
  // ones expected, and each, applied, leaves nestasm-check content; the text put right clears
  // the diagnostics.
  let fixes = 0;
  for (const [what, text, line, code, notes, want] of mistakes) {
    const { uri, diagnostics } = await open(what.replace(/\W+/g, '-') + '.s', text);
    const d = diagnostics.find((x) => x.code === code);
    assert.ok(d, `${what}: no ${code} in ${JSON.stringify(diagnostics)}`);
    assert.deepEqual([d.range.start.line + 1, d.source], [line, 'nestasm'], what);
    assert.equal(d.severity, code.startsWith('status') ? 1 : 2, what);
    assert.deepEqual((d.relatedInformation || []).map((r) => r.location.range.start.line + 1), notes, what);
    const offered = [];
    for (const g of diagnostics) {
      const actions = await conn.sendRequest(lsp.CodeActionRequest.type,
                                             { ...doc(uri), range: g.range, context: { diagnostics: [g] } });
      for (const a of actions.filter((x) => !x.kind.startsWith('refactor.rewrite.'))) {
        ++fixes;
        offered.push([a.title, a.edit.changes[uri].map((e) => `${range(e.range)} ${JSON.stringify(e.newText)}`)]);
        assert.equal(a.kind, 'quickfix');
        const fixed = check(applyEdits(text, a.edit.changes[uri]));
        assert.equal(fixed.status, 0, `${what}: ${a.title} leaves ${JSON.stringify(fixed.diags)}`);
        assert.ok(!fixed.diags.some((x) => x.line === g.range.start.line + 1 &&
                                          (x.name === g.code || `status ${x.status}` === g.code)), `${what}: ${a.title}`);
      }
    }
    assert.deepEqual(offered, want, `${what}: the fixes offered`);
    ++version;
    conn.sendNotification(lsp.DidChangeTextDocumentNotification.type,
                          { textDocument: { uri, version }, contentChanges: [{ text: 'nop\n' }] });
    assert.deepEqual(await diagnosticsOf(uri, version), [], what);
    conn.sendNotification(lsp.DidCloseTextDocumentNotification.type, doc(uri));
  }
  // Two diagnostics on one line, each with its own fix: asked for one, its fix alone comes.
  {
    const { uri, diagnostics } = await open('two-on-a-line.s', 'if eax == 1\n& nop\n\t& nop\nend\n');
    assert.deepEqual(diagnostics.map((g) => `${g.range.start.line} ${g.code}`),
                     ['2 tab-before-marker', '2 missing-end']);
    const titles = [];
    for (const g of diagnostics) {
      const actions = await conn.sendRequest(lsp.CodeActionRequest.type,
                                             { ...doc(uri), range: g.range, context: { diagnostics: [g] } });
      titles.push(actions.map((a) => a.title));
    }
    // The level action of the line comes with either: it is no fix of a diagnostic.
    assert.deepEqual(titles, [['Change `\t` to ` `', 'One level deeper'],
                              ['Insert the line `end`; Remove `end`', 'One level deeper']]);
  }
  // A lone CR ends a line for the editor: the diagnostic and its fix are on the editor's line.
  {
    const text = '; x\ry\nif eax == 1\n& inc eax\nendif\n';
    const { uri, diagnostics } = await open('lone-cr.s', text);
    const g = diagnostics.find((x) => x.code === 'not-a-statement');
    assert.equal(range(g.range), '4:0-4:5');
    const actions = await conn.sendRequest(lsp.CodeActionRequest.type,
                                           { ...doc(uri), range: g.range, context: { diagnostics: [g] } });
    assert.deepEqual(actions.map((a) => a.edit.changes[uri].map((e) => `${range(e.range)} ${e.newText}`)),
                     [['4:0-4:5 end'], ['4:0-4:0 & ']]);  // the fix, and the line one level deeper
    const folds = await conn.sendRequest(lsp.FoldingRangeRequest.type, doc(uri));
    assert.deepEqual(folds.map((f) => [f.startLine, f.endLine]), [[2, 4]]);
  }
  const expected = mistakes.reduce((n, m) => n + m[5].length, 0);
  assert.ok(expected > 0 && fixes === expected, `${fixes} quick fixes offered, ${expected} expected`);
  console.log(`quick fixes offered and checked: ${fixes}`);

  await conn.sendRequest(lsp.ShutdownRequest.type);
  const status = new Promise((r) => proc.on('exit', r));
  conn.sendNotification(lsp.ExitNotification.type);
  assert.equal(await status, 0);
  console.log('ok: diagnostics, quick fixes, folds, highlights, definitions, symbols, hover, ' +
              'inlay hints, semantic tokens, lone CRs, translation, markers on Enter, formatting, ' +
              'levels, shutdown');
}

main().then(() => { fs.rmSync(tmp, { recursive: true }); process.exit(0); },
            (e) => { console.log('FAIL: ' + (e.stack || e)); process.exit(1); });
