// The translation beside the source, as the server's nestasm/translation answers it: which
// lines of the flat text each source line became. No editor in here, so Node tests can run it.
'use strict';

// A translation that stopped at a statement error holds only the lines before it: the preview
// says so in a first line of its own, a NASM comment, above what was translated.
function stopLine(answer) {
  if (!answer || typeof answer.stopped !== 'number') return undefined;
  return `; translation stopped at line ${answer.stopped + 1}` +
         (answer.message ? `: ${answer.message}` : '');
}
exports.stopLine = stopLine;

// The preview's text: the answer's, under that first line when it stopped.
exports.previewText = function previewText(answer) {
  const head = stopLine(answer);
  const text = (answer && answer.text) || '';
  return head === undefined ? text : head + '\n' + text;
};

// `answer` is { text, starts, stopped?, message? }: starts[i] is the first output line (0-based)
// of source line i, and the last entry the number of output lines. The preview lines of source
// line `line`, as [start, end) with end > start when it made any; {start, end} equal when it made
// none (a statement decided at translation time, or a line past the end). Below the stop line,
// when there is one.
exports.outputLines = function outputLines(answer, line) {
  const s = answer && answer.starts;
  if (!Array.isArray(s) || s.length === 0) return { start: 0, end: 0 };
  const head = stopLine(answer) === undefined ? 0 : 1;
  const last = s[s.length - 1] + head;
  if (line < 0 || line >= s.length - 1) return { start: last, end: last };
  return { start: s[line] + head, end: s[line + 1] + head };
};

// The address of the preview of the source document `uri` (a string): a document of its own
// scheme, named after the file NASM would read, carrying the source's address.
exports.previewAddress = function previewAddress(uri) {
  const name = uri.replace(/^.*\//, '').replace(/\.[^./]*$/, '') + '.asm';
  return { scheme: 'nestasm-translation', path: '/' + name, query: uri };
};
