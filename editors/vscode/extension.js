// Starts nestasm-lsp for the documents of language nestasm, and stops it with the editor.
'use strict';
const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

exports.activate = function activate() {
  const command = vscode.workspace.getConfiguration('nestasm').get('server', 'nestasm-lsp');
  client = new LanguageClient('nestasm', 'nestasm', { command },
                              { documentSelector: [{ language: 'nestasm' }] });
  return client.start();
};

exports.deactivate = function deactivate() {
  return client && client.stop();
};
