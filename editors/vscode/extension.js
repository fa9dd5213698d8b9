// Starts nestasm-lsp for the documents of language nestasm, stops it with the editor, shows the
// translation of a source beside it, following its edits and its cursor, and moves lines a level.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');
const { outputLines, previewAddress, previewText } = require('./preview');
const { levelCommands } = require('./levels');

let client;

// The previews: read-only documents whose text the server gives, one per source.
const changed = new vscode.EventEmitter();
const answers = new Map();  // preview address -> the server's last answer
const provider = {
  onDidChange: changed.event,
  async provideTextDocumentContent(uri) {
    if (!client) return '; nestasm: the language server is not running\n';
    const answer = await client.sendRequest('nestasm/translation',
                                            { textDocument: { uri: uri.query } });
    answers.set(uri.toString(), answer);
    return previewText(answer);
  },
};

function previewOf(doc) {
  return vscode.Uri.from(previewAddress(doc.uri.toString()));
}

// Select the output lines of the source line under the cursor in every visible preview of it.
function follow(editor) {
  if (!editor || editor.document.languageId !== 'nestasm') return;
  const uri = previewOf(editor.document).toString();
  const answer = answers.get(uri);
  if (!answer) return;
  const { start, end } = outputLines(answer, editor.selection.active.line);
  for (const e of vscode.window.visibleTextEditors) {
    if (e.document.uri.toString() !== uri) continue;
    const range = new vscode.Range(start, 0, Math.max(start, end - 1), end > start ? 1e6 : 0);
    e.selection = new vscode.Selection(range.start, range.end);
    e.revealRange(range, vscode.TextEditorRevealType.InCenterIfOutsideViewport);
  }
}

exports.activate = async function activate(context) {
  const command = vscode.workspace.getConfiguration('nestasm').get('server', 'nestasm-lsp');
  context.subscriptions.push(
    vscode.workspace.registerTextDocumentContentProvider('nestasm-translation', provider),
    vscode.commands.registerCommand('nestasm.showTranslation', async () => {
      const editor = vscode.window.activeTextEditor;
      if (!editor || editor.document.languageId !== 'nestasm') return;
      const doc = await vscode.workspace.openTextDocument(previewOf(editor.document));
      await vscode.window.showTextDocument(doc, { viewColumn: vscode.ViewColumn.Beside,
                                                  preserveFocus: true, preview: true });
      follow(editor);
    }),
    // The server answers for the text it has, so the preview asks again after each change.
    vscode.workspace.onDidChangeTextDocument((e) => {
      if (e.document.languageId !== 'nestasm') return;
      const uri = previewOf(e.document);
      if (answers.has(uri.toString())) changed.fire(uri);
    }),
    vscode.workspace.onDidChangeTextDocument((e) => {
      if (e.document.uri.scheme === 'nestasm-translation') follow(vscode.window.activeTextEditor);
    }),
    vscode.window.onDidChangeTextEditorSelection((e) => follow(e.textEditor)),
    ...Object.entries(levelCommands).map(([name, kind]) => vscode.commands.registerCommand(name,
      () => vscode.commands.executeCommand('editor.action.codeAction', { kind, apply: 'first' }))));
  client = new LanguageClient('nestasm', 'nestasm', { command },
                              { documentSelector: [{ language: 'nestasm' }] });
  try {
    await client.start();
  } catch (e) {
    // The client's own message is only "spawn nestasm-lsp ENOENT": say what was tried and
    // where to name another.
    const why = e && e.code === 'ENOENT' ? 'was not found' : `did not start (${e && e.message})`;
    vscode.window.showErrorMessage(`nestasm: the language server "${command}" ${why}. ` +
      'Set "nestasm.server" in the settings to the path of nestasm-lsp, or put it on the PATH ' +
      'of the extension host.', 'Open settings').then((choice) => {
      if (choice) vscode.commands.executeCommand('workbench.action.openSettings', 'nestasm.server');
    });
    client = undefined;
  }
};

exports.deactivate = function deactivate() {
  return client && client.stop();
};
