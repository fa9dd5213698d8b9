// nestasm-lsp's second round, NASM's verdict, through the client library VS Code's extensions
// use: with the real NASM ("real"), and with a fake NASM, a script whose runs the test times
// itself ("fake"): a change while it runs, turned off, missing, too slow, a close and a
// shutdown while it runs.
//
//   node nasm.js BUILD_DIR SOURCE_DIR real|fake     exit 0 pass, 1 fail, 77 skipped
'use strict';
let lsp;
try {
  lsp = require('vscode-languageserver-protocol/node');
} catch (e) {
  console.log('SKIP: the npm packages are missing; run `npm ci` in tests/lsp');
  process.exit(77);
}
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const [build, , mode] = process.argv.slice(2);
const server = path.join(path.resolve(build), 'nestasm-lsp');
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'nestasm-lsp-nasm-'));
setTimeout(() => { console.log('FAIL: no answer within 60 s'); process.exit(1); }, 60000).unref();
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// One server with `args` and initializationOptions `options`: what it publishes and logs.
async function start(args, options) {
  const proc = spawn(server, args, { stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise((r) => proc.on('exit', (code) => r(code)));
  const conn = lsp.createProtocolConnection(new lsp.StreamMessageReader(proc.stdout),
                                            new lsp.StreamMessageWriter(proc.stdin));
  const s = { conn, exited, published: [], logs: [], waiting: [] };
  const wake = () => { for (const w of s.waiting.splice(0)) w(); };
  conn.onNotification(lsp.PublishDiagnosticsNotification.type, (p) => { s.published.push(p); wake(); });
  conn.onNotification(lsp.LogMessageNotification.type, (p) => { s.logs.push(p); wake(); });
  conn.listen();
  await conn.sendRequest(lsp.InitializeRequest.type,
                         { processId: null, rootUri: null, capabilities: {}, initializationOptions: options });
  conn.sendNotification(lsp.InitializedNotification.type, {});
  return s;
}
// Waits until `ok()` holds, as messages come in.
async function until(s, ok) {
  while (!ok()) await new Promise((r) => s.waiting.push(r));
}
const of = (s, uri, v) => s.published.filter((p) => p.uri === uri && (v === undefined || p.version === v));
const tagged = (p) => p.diagnostics.some((d) => d.code === 'nasm');
function open(s, name, text, version = 1) {
  const uri = 'file://' + path.join(tmp, name);
  s.conn.sendNotification(lsp.DidOpenTextDocumentNotification.type,
                          { textDocument: { uri, languageId: 'nestasm', version, text } });
  return uri;
}
function change(s, uri, version, text) {
  s.conn.sendNotification(lsp.DidChangeTextDocumentNotification.type,
                          { textDocument: { uri, version }, contentChanges: [{ text }] });
}
async function stop(s) {
  await s.conn.sendRequest(lsp.ShutdownRequest.type);
  s.conn.sendNotification(lsp.ExitNotification.type);
  assert.equal(await s.exited, 0);
}
const alive = (pid) => { try { process.kill(pid, 0); return true; } catch (e) { return false; } };

async function real() {
  if (spawnSync('nasm', ['-v']).error) {
    console.log('SKIP: nasm is not installed');
    process.exit(77);
  }
  const s = await start(['--stdio'], {});
  // The core finds nothing; NASM rejects the register that is none, at the line nestasm read.
  const uri = open(s, 'rxa.s', 'if eax == 1\n& mov rxa, 1\nend\n');
  await until(s, () => of(s, uri, 1).length >= 2);
  const [core, second] = of(s, uri, 1);
  assert.deepEqual(core.diagnostics, []);
  assert.deepEqual(second.diagnostics, [{
    range: { start: { line: 1, character: 2 }, end: { line: 1, character: 12 } },
    severity: 1, source: 'nestasm', code: 'nasm', message: 'symbol `rxa\' not defined',
  }]);
  // A core warning stays first, NASM's error follows; an if's line gets the note of what it became.
  change(s, uri, 2, 'if eax == 1\n& nop\n\nif [ebx] == 1\n& nop\nend\n');
  await until(s, () => of(s, uri, 2).length >= 2);
  const [core2, second2] = of(s, uri, 2);
  assert.equal(tagged(core2), false);
  assert.deepEqual(second2.diagnostics.slice(0, core2.diagnostics.length), core2.diagnostics);
  const n = second2.diagnostics.slice(core2.diagnostics.length);
  assert.equal(n.length, 1);
  assert.deepEqual([n[0].code, n[0].range.start, n[0].range.end],
                   ['nasm', { line: 3, character: 0 }, { line: 3, character: 13 }]);
  assert.match(n[0].message, /^operation size not specified\nNASM read what this `if` became: `cmp \[ebx\], 1`/);
  await stop(s);
  console.log('PASS: nasm.js real');
}

// The fake NASM: tells of its run in `runs` (its pid, its arguments and the version tag in the
// text), sleeps when the text says "slow", and then rejects line 1 with what it saw.
const fake = path.join(tmp, 'fake-nasm');
const runs = path.join(tmp, 'runs');
fs.writeFileSync(fake, `#!/bin/sh
for a; do in=$a; done
name=$(sed -n 's/^%line [0-9]*+0 //p' "$in" | head -n 1)
tag=$(grep -o 'v[0-9][0-9]*' "$in" | head -n 1)
echo "$$ $tag $*" >> '${runs}'
if grep -q slow "$in"; then sleep 20; fi
echo "$name:1: error: fake saw $tag $1"
`, { mode: 0o755 });
// NASM's options from the project file of the documents' folder: one format, one run.
fs.writeFileSync(path.join(tmp, '.nestasm'), '# the build\nnasm = -f elf64\n');
const ran = () => (fs.existsSync(runs) ? fs.readFileSync(runs, 'utf8').trim().split('\n') : []);
const pidOf = (tag) => Number((ran().find((l) => l.split(' ')[1] === tag) || '0').split(' ')[0]);
async function started(tag) {
  while (!pidOf(tag)) await sleep(20);
  return pidOf(tag);
}

async function faked() {
  const s = await start(['--stdio', `--nasm=${fake}`], {});
  // The second publish: the core's diagnostics, then the fake's, from its one run as elf64.
  const a = open(s, 'a.s', 'nop ; v1\n');
  await until(s, () => of(s, a, 1).length >= 2);
  assert.deepEqual(of(s, a, 1)[1].diagnostics.map((d) => [d.code, d.range.start.line, d.message]),
                   [['nasm', 0, 'fake saw v1 -felf64']]);
  assert.deepEqual(of(s, a, 1)[0].diagnostics, []);

  // A change while the fake runs on version 2: its round is stopped, the fake killed, and only
  // version 3's verdict is published; the core's publish of 3 carries nothing of 2.
  change(s, a, 2, 'nop ; v2 slow\n');
  const slow = await started('v2');
  change(s, a, 3, 'nop ; v3\n;;; a comment\n');
  await until(s, () => of(s, a, 3).length >= 2);
  assert.equal(alive(slow), false, 'the fake of version 2 still runs');
  assert.deepEqual(of(s, a, 2).map(tagged), [false]);
  assert.deepEqual(of(s, a, 3).map(tagged), [false, true]);
  assert.equal(of(s, a, 3)[1].diagnostics.at(-1).message, 'fake saw v3 -felf64');

  // A translation that stopped at a statement error gets no round, as in nestasm-check.
  const b = open(s, 'b.s', 'nop ; v4\nend\n');
  await until(s, () => of(s, b, 1).length >= 1);
  assert.equal(of(s, b, 1)[0].diagnostics[0].code, 'status 11');

  // Closed while the fake runs: stopped, and nothing published after the close's empty list.
  const c = open(s, 'c.s', 'nop ; v5 slow\n');
  const slow5 = await started('v5');
  s.conn.sendNotification(lsp.DidCloseTextDocumentNotification.type, { textDocument: { uri: c } });
  await until(s, () => of(s, c).length >= 2);
  await s.conn.sendRequest('textDocument/hover', { textDocument: { uri: a }, position: { line: 0, character: 0 } });
  assert.equal(alive(slow5), false, 'the fake of a closed document still runs');
  assert.deepEqual(of(s, c).map((p) => p.diagnostics.length), [0, 0]);
  assert.equal(ran().some((l) => l.split(' ')[1] === 'v4'), false, 'a stopped translation was assembled');

  // Shut down while the fake runs: stopped, and the exit status is 0.
  open(s, 'd.s', 'nop ; v6 slow\n');
  const slow6 = await started('v6');
  await stop(s);
  assert.equal(alive(slow6), false, 'the fake still runs after exit');
  assert.equal(s.published.filter(tagged).length, 2);

  // Turned off: the core's diagnostics alone, and the fake never runs.
  const off = await start(['--stdio', `--nasm=${fake}`], { assemble: false });
  const e = open(off, 'e.s', 'nop ; v7\n');
  await until(off, () => of(off, e, 1).length >= 1);
  await sleep(500);
  assert.equal(of(off, e).length, 1);
  assert.equal(ran().some((l) => l.split(' ')[1] === 'v7'), false);
  await stop(off);

  // Missing: logged, and the core's diagnostics alone.
  const gone = await start(['--stdio'], { nasm: path.join(tmp, 'no-such-nasm') });
  const f = open(gone, 'f.s', 'nop ; v8\n');
  await until(gone, () => gone.logs.length >= 1);
  assert.equal(gone.logs[0].message, `NASM's verdict is left out: ${path.join(tmp, 'no-such-nasm')} was not found`);
  await gone.conn.sendRequest('textDocument/hover', { textDocument: { uri: f }, position: { line: 0, character: 0 } });
  assert.deepEqual(of(gone, f).map(tagged), [false]);
  await stop(gone);

  // Past the time limit: killed, logged, nothing published.
  const late = await start(['--stdio'], { nasm: fake, nasmTimeout: 300 });
  const g = open(late, 'g.s', 'nop ; v9 slow\n');
  await until(late, () => late.logs.length >= 1);
  assert.equal(late.logs[0].message, `NASM's verdict is left out: ${fake} ran past 300 ms`);
  assert.equal(alive(pidOf('v9')), false);
  assert.deepEqual(of(late, g).map(tagged), [false]);
  await stop(late);
  console.log('PASS: nasm.js fake');
}

(mode === 'real' ? real() : faked()).then(() => {
  fs.rmSync(tmp, { recursive: true, force: true });
  process.exit(0);
}, (e) => {
  console.log('FAIL:', e);
  process.exit(1);
});
