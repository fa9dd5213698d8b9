// Starts nestasm-lsp for the documents of language nestasm, and stops it with the editor.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

exports.activate = async function activate() {
  const command = vscode.workspace.getConfiguration('nestasm').get('server', 'nestasm-lsp');
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
