// The packaged extension in a real VS Code: code-server serves the workbench, headless Chromium
// shows it, and each step reads back from the page what a user would see there.
//
//   node real.js VSIX SERVER_BIN OUT_DIR      exit 0 pass, 1 fail, 77 skipped
'use strict';
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');

const [vsix, lsp, out] = process.argv.slice(2).map((p) => path.resolve(p));
const here = __dirname;
const codeServer = path.join(here, 'node_modules/code-server/out/node/entry.js');
const chromium = process.env.NESTASM_CHROMIUM || '/usr/bin/chromium';
const skip = (why) => { console.log('SKIP: ' + why); process.exit(77); };
if (!fs.existsSync(codeServer)) skip(`code-server is not installed in ${here} (bash ${here}/install.sh)`);
if (!fs.existsSync(chromium)) skip(`no Chromium at ${chromium}`);
let playwright;
try { playwright = require('playwright-core'); } catch { skip(`playwright-core is not installed in ${here}`); }

// The program the workbench opens: a mistake on line 3, which its quick fix mends.
const program = '; counts down\nmov eax, 1\nif eax = 1\n& inc ebx\nend\n';

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'nestasm-vscode-'));
const dirs = { user: path.join(tmp, 'user'), ext: path.join(tmp, 'ext'), ws: path.join(tmp, 'ws') };
for (const d of Object.values(dirs)) fs.mkdirSync(d);
fs.mkdirSync(path.join(dirs.user, 'User'));
// Suggestions off, so that Enter and typed words go into the text and no list takes them.
fs.writeFileSync(path.join(dirs.user, 'User/settings.json'), JSON.stringify({
  'nestasm.server': lsp,
  'workbench.startupEditor': 'none',
  'workbench.tips.enabled': false,
  'security.workspace.trust.enabled': false,
  'editor.quickSuggestions': { other: false, comments: false, strings: false },
  'editor.suggestOnTriggerCharacters': false,
  'editor.wordBasedSuggestions': 'off',
  'editor.acceptSuggestionOnEnter': 'off',
  'editor.minimap.enabled': false,
  'update.mode': 'none',
  'telemetry.telemetryLevel': 'off',
}, null, 2));
fs.mkdirSync(path.join(dirs.ws, '.vscode'));
fs.writeFileSync(path.join(dirs.ws, '.vscode/settings.json'), '{ "files.associations": { "*.s": "nestasm" } }\n');
fs.writeFileSync(path.join(dirs.ws, 'prog.s'), program);

const common = ['--user-data-dir', dirs.user, '--extensions-dir', dirs.ext,
                '--disable-telemetry', '--disable-update-check'];
let server, browser, bad = 0;
const fail = (m) => { console.log('FAIL: ' + m); bad = 1; };
const check = (what, got, want) => {
  if (JSON.stringify(got) === JSON.stringify(want)) console.log(`ok: ${what}: ${JSON.stringify(got)}`);
  else fail(`${what}: read ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
};

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    }).on('error', reject);
  });
}

// The text of the editor lines in order, without what decorations put between the characters
// (inlay hints), with the spaces VS Code draws as no-break spaces given back.
async function lines(editor) {
  return editor.evaluate((root) => {
    const rows = [...root.querySelectorAll('.view-lines .view-line')]
      .sort((a, b) => parseFloat(a.style.top) - parseFloat(b.style.top));
    const textOf = (row) => {
      let s = '';
      const walk = (n) => {
        for (const c of n.childNodes) {
          if (c.nodeType === 3) s += c.nodeValue;
          else if (!/inlay|dyn-rule|ced-/.test(c.className || '')) walk(c);
        }
      };
      walk(row);
      return s.replace(/\u00a0/g, ' ');
    };
    return rows.map(textOf);
  });
}

// Polls `read` until it gives `want` or the time is up, and hands back the last reading.
async function until(read, want, ms = 20000) {
  const stop = Date.now() + ms;
  let got;
  for (;;) {
    got = await read();
    if (JSON.stringify(got) === JSON.stringify(want) || Date.now() > stop) return got;
    await new Promise((r) => setTimeout(r, 200));
  }
}

// Each token of an editor line, the text and the colour it is drawn in; the inlay hints apart.
async function tokens(editor, row) {
  return editor.evaluate((root, row) => {
    const rows = [...root.querySelectorAll('.view-lines .view-line')]
      .sort((a, b) => parseFloat(a.style.top) - parseFloat(b.style.top));
    const spans = [...rows[row].querySelectorAll('span[class^="mtk"]')];
    return spans.filter((e) => !/dyn-rule/.test(e.className))
      .map((e) => [e.textContent.replace(/\u00a0/g, ' '), getComputedStyle(e).color]);
  }, row);
}

// The inlay hints drawn on an editor line, as their text.
async function hints(editor, row) {
  return editor.evaluate((root, row) => {
    const rows = [...root.querySelectorAll('.view-lines .view-line')]
      .sort((a, b) => parseFloat(a.style.top) - parseFloat(b.style.top));
    return [...rows[row].querySelectorAll('span[class*="dyn-rule"]')]
      .map((e) => e.textContent.replace(/\u00a0/g, ' ')).join('').trim();
  }, row);
}

// The colours of a line that mixes statement words, an operator, markers and assembly: each
// of those must be drawn apart from the plain text between them.
async function colours(page, editor, theme) {
  const plain = await editor.evaluate((root) => getComputedStyle(root.querySelector('.view-lines')).color);
  const drawn = [...await tokens(editor, 5), ...await tokens(editor, 6), ...await tokens(editor, 7),
                 ...await tokens(editor, 1)];
  const shown = [];
  for (const word of ['while', '!=', '&', 'end', 'dec', 'mov', 'eax']) {
    const t = drawn.find(([text]) => text === word);
    if (!t) fail(`${theme}: "${word}" is no token of its own: ${JSON.stringify(drawn)}`);
    else if (t[1] === plain) fail(`${theme}: "${word}" is drawn in the plain text's colour ${plain}`);
    else shown.push(`${word} ${t[1]}`);
  }
  console.log(`ok: ${theme}: plain text ${plain}; ${shown.join(', ')}`);
}

// Runs "nestasm: Show translation to the side" from the command palette and reads the flat
// text in the editor group beside.
async function translate(page) {
  await page.keyboard.press('F1');
  await page.keyboard.type('nestasm: Show translation to the side');
  const found = ['nestasm: Show translation to the side'];
  check('the palette', await until(() => page.locator('.quick-input-list .monaco-list-row').evaluateAll(
    (r) => r.map((e) => e.getAttribute('aria-label').replace(/, recently used$/, ''))), found), found);
  await page.keyboard.press('Enter');
  const flat = ['; counts down', 'mov eax, 1', 'cmp eax, 1', 'jne .if_else_0', 'inc ebx', '.if_else_0:',
                '.if_end_1:', '.while_head_2:', 'cmp ecx, 0', 'je .while_end_3', 'dec ecx',
                'jmp .while_head_2', '.while_end_3:', ''];
  const beside = page.locator('.editor-group-container').nth(1).locator('.monaco-editor').first();
  check('the translation beside', await until(() => lines(beside).catch(() => []), flat), flat);
}

async function main() {
  const inst = spawnSync(process.execPath, [codeServer, ...common, '--install-extension', vsix],
                         { encoding: 'utf8' });
  if (inst.status !== 0 || !/was successfully installed/.test(inst.stdout))
    throw new Error(`code-server --install-extension failed:\n${inst.stdout}${inst.stderr}`);
  console.log('ok: ' + inst.stdout.trim().split('\n').pop());

  const port = await freePort();
  server = spawn(process.execPath, [codeServer, ...common, '--auth', 'none',
                                    '--bind-addr', `127.0.0.1:${port}`, dirs.ws],
                 { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  server.stdout.on('data', (b) => { log += b; });
  server.stderr.on('data', (b) => { log += b; });
  if (!await until(async () => /HTTP server listening/.test(log), true, 30000))
    throw new Error('code-server did not start:\n' + log);

  browser = await playwright.chromium.launch({ executablePath: chromium, headless: true,
                                               args: ['--no-sandbox'] });
  const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
  // What the workbench says of the extension's contributions as it reads them (a rule it
  // drops is only a warning there).
  const said = [];
  page.on('console', (m) => { if (/^\[nestasm\]/.test(m.text())) said.push(m.text()); });
  await page.goto(`http://127.0.0.1:${port}/?folder=${encodeURIComponent(dirs.ws)}`);
  await page.locator('.explorer-folders-view .monaco-list-row[aria-label^="prog.s"]').click({ timeout: 60000 });
  const editor = page.locator('.editor-group-container').first().locator('.monaco-editor').first();
  await editor.locator('.view-lines').waitFor();
  const opened = program.split('\n');
  check('the file as opened', await until(() => lines(editor), opened), opened);

  // 1. The server's diagnostic of the mistake: a squiggle, the Problems panel's row, and the
  // quick fix of the light bulb menu, which mends the line.
  const squiggles = () => editor.locator('.squiggly-error').count();
  check('squiggles', await until(squiggles, 1, 30000), 1);
  await page.keyboard.press('Control+Shift+M');
  const problems = () => page.locator('.markers-panel .monaco-list-row').evaluateAll(
    (rows) => rows.map((r) => r.getAttribute('aria-label')));
  const problem = ['1 problems in file prog.s of folder .',
                   'Error: bad if: `=` is no operator\nthe operators are == != >= <= UGT UGE ULT ULE > < ' +
                   'at line 3 and character 8. generated by nestasm'];
  check('the Problems panel', await until(problems, problem), problem);
  await editor.locator('.view-line').nth(2).click();
  await page.keyboard.press('Home');
  for (let k = 0; k < 7; ++k) await page.keyboard.press('ArrowRight');
  const actions = () => page.locator('.action-widget .monaco-list-row.action').evaluateAll(
    (rows) => rows.map((r) => r.getAttribute('aria-label')));
  const offered = ['Change `=` to `==`', 'One level deeper'];
  // The menu opens on what the editor has been told so far: asked again until the server's
  // actions are in it.
  let menu = [];
  for (let k = 0; k < 5 && JSON.stringify(menu) !== JSON.stringify(offered); ++k) {
    if (k) await page.keyboard.press('Escape');
    await page.keyboard.press('Control+.');
    menu = await until(actions, offered, 5000);
  }
  check('the actions at the `=`', menu, offered);
  // The fix is the one the menu opens on; Enter applies it.
  check('the action Enter applies', await page.locator('.action-widget .monaco-list-row.action.focused')
    .getAttribute('aria-label'), 'Change `=` to `==`');
  await page.keyboard.press('Enter');
  const mended = ['; counts down', 'mov eax, 1', 'if eax == 1', '& inc ebx', 'end', ''];
  check('the file after the quick fix', await until(() => lines(editor), mended), mended);
  check('squiggles after the fix', await until(squiggles, 0), 0);

  // 2. The markers Enter writes, and an end typed where they stop.
  await page.keyboard.press('Control+End');
  await page.keyboard.type('while ecx != 0', { delay: 20 });
  await page.keyboard.press('Enter');
  const entered = [...mended.slice(0, -1), 'while ecx != 0', '& '];
  check('the line Enter opens in a while', await until(() => lines(editor), entered), entered);
  await page.keyboard.type('dec ecx', { delay: 20 });
  await page.keyboard.press('Enter');
  const body = [...entered.slice(0, -1), '& dec ecx', '& '];
  check('the line Enter opens in its body', await until(() => lines(editor), body), body);
  await page.keyboard.press('Backspace');
  await page.keyboard.press('Backspace');
  await page.keyboard.type('end', { delay: 20 });
  const closed = [...body.slice(0, -1), 'end'];
  check('the end at depth 0', await until(() => lines(editor), closed), closed);
  check('squiggles with the loop', await squiggles(), 0);

  // 3. What each end closes, drawn after it.
  check('the hint after the typed end', await until(() => hints(editor, 7), 'closes while ecx != 0 (line 6)'),
        'closes while ecx != 0 (line 6)');
  check('the hint after the first end', await hints(editor, 4), 'closes if eax == 1 (line 3)');

  // 4. The command from the palette, and the flat text in the editor beside.
  await translate(page);

  // 5. The colours of the theme a new user has, then of the other default one.
  fs.mkdirSync(out, { recursive: true });
  const dark = () => page.locator('.monaco-workbench.vs-dark').count();
  const first = await dark() ? 'Dark Modern' : 'Light Modern';
  await colours(page, editor, first);
  await page.screenshot({ path: path.join(out, `vscode-${first.split(' ')[0].toLowerCase()}.png`) });
  const other = first === 'Dark Modern' ? 'Light Modern' : 'Dark Modern';
  // The workbench reads the user's settings as it loads: saved, set and loaded again, with the
  // other theme and without formatting on Enter.
  await editor.click();
  await page.keyboard.press('Control+S');
  check('the file as saved', await until(() => fs.readFileSync(path.join(dirs.ws, 'prog.s'), 'utf8'),
                                          closed.join('\n')), closed.join('\n'));
  const settings = path.join(dirs.user, 'User/settings.json');
  fs.writeFileSync(settings, JSON.stringify({ ...JSON.parse(fs.readFileSync(settings, 'utf8')),
                                              'workbench.colorTheme': `Default ${other}`,
                                              '[nestasm]': { 'editor.formatOnType': false } }));
  await page.reload();
  check('the theme changed', await until(dark, first === 'Dark Modern' ? 0 : 1), first === 'Dark Modern' ? 0 : 1);
  const again = page.locator('.editor-group-container').first().locator('.monaco-editor').first();
  check('the file loaded again', await until(() => lines(again).catch(() => []), closed), closed);
  check('the hint loaded again', await until(() => hints(again, 7).catch(() => ''), 'closes while ecx != 0 (line 6)'),
        'closes while ecx != 0 (line 6)');
  // The translation beside is not brought back with the window: asked for again.
  await again.click();
  await translate(page);
  await colours(page, again, other);
  await page.screenshot({ path: path.join(out, `vscode-${other.split(' ')[0].toLowerCase()}.png`) });
  check('what the workbench said of the extension', said, []);

  // With the server's formatting on Enter off, the language configuration's rules alone still
  // write the markers.
  await again.locator('.view-line').nth(6).click();
  await page.keyboard.press('End');
  await page.keyboard.press('Enter');
  const ruled = [...closed.slice(0, -1), '& ', 'end'];
  check('the line Enter opens by the rules alone', await until(() => lines(again), ruled), ruled);
  console.log(`ok: screenshots in ${out}`);
}

main().catch((e) => fail(e && e.stack || String(e))).finally(async () => {
  if (browser) await browser.close().catch(() => {});
  if (server) server.kill();
  fs.rmSync(tmp, { recursive: true, force: true });
  if (!bad) console.log('ok: the extension works in VS Code');
  process.exit(bad);
});
