// The translation beside the source, as the server's nestasm/translation answers it: which
// lines of the flat text each source line became. No editor in here, so Node tests can run it.
'use strict';

// `answer` is { text, starts }: starts[i] is the first output line (0-based) of source line i,
// and the last entry the number of output lines. The output lines of source line `line`, as
// [start, end) with end > start when it made any; {start, end} equal when it made none (a
// statement decided at translation time, or a line past the end).
exports.outputLines = function outputLines(answer, line) {
  const s = answer && answer.starts;
  if (!Array.isArray(s) || s.length === 0) return { start: 0, end: 0 };
  const last = s[s.length - 1];
  if (line < 0 || line >= s.length - 1) return { start: last, end: last };
  return { start: s[line], end: s[line + 1] };
};

// The address of the preview of the source document `uri` (a string): a document of its own
// scheme, named after the file NASM would read, carrying the source's address.
exports.previewAddress = function previewAddress(uri) {
  const name = uri.replace(/^.*\//, '').replace(/\.[^./]*$/, '') + '.asm';
  return { scheme: 'nestasm-translation', path: '/' + name, query: uri };
};
