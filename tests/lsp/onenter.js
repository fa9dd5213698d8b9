// The VS Code language configuration's onEnterRules, applied as VS Code applies them: the
// first rule whose beforeText matches the text left of the cursor appends its text to the new
// line, after the old line's leading white space.
//
//   node onenter.js SOURCE_DIR                 exit 0 pass, 1 fail
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const src = path.resolve(process.argv[2]);
const conf = JSON.parse(fs.readFileSync(path.join(src, 'editors/vscode/language-configuration.json'), 'utf8'));
const re = (r) => (typeof r === 'string' ? new RegExp(r) : new RegExp(r.pattern, r.flags));
let bad = 0;
const fail = (m) => { console.log('FAIL: ' + m); bad = 1; };
// VS Code drops a rule whose action it cannot read, with only a warning in its log: the file
// names the indentation `indent` (the API's `indentAction` is no key of it).
conf.onEnterRules.forEach((r, i) => {
  const keys = Object.keys(r.action).filter((k) => !['indent', 'appendText', 'removeText'].includes(k));
  if (keys.length) fail(`onEnterRules[${i}].action has ${keys.join(', ')}, which VS Code does not read`);
  if (!['none', 'indent', 'outdent', 'indentOutdent'].includes(r.action.indent))
    fail(`onEnterRules[${i}].action.indent is ${JSON.stringify(r.action.indent)}, and VS Code drops the rule`);
});
const rules = conf.onEnterRules.map((r) => ({ before: re(r.beforeText), append: r.action.appendText }));
const enter = (line) => {
  const rule = rules.find((r) => r.before.test(line));
  return /^[\t ]*/.exec(line)[0] + (rule ? rule.append : '');
};

// The line Enter is pressed at the end of, and the start of the new line.
const rows = [
  ['& & & & inc ecx', '& & & & '],
  ['while ecx != 0', '& '],
  ['& & if eax == 1', '& & & '],
  ['&&elif eax == 2', '& & & '],
  ['& else', '& & '],
  ['& ELSE if eax', '& & '],          // an else: what follows it is ignored
  ['&\tif eax == 1', '& & '],         // a tab after the markers
  ['\t&if eax == 1', '\t'],           // after a tab, & is text: depth 0
  ['& endif', '& '],                  // no statement: the same depth
  ['& if(eax==1)', '& '],
  ['& end', '& '],
  ['& & ; note', '& & '],
  ['& & ', '& & '],                   // an empty body line keeps its markers
  ['mov eax, 1', ''],
  ['  & &  mov eax, 1', '  & & '],
  ['& & & & & & & & & & & & mov eax, 1', '& & & & & & & & & & & & '],
];
for (const [line, want] of rows) {
  const got = enter(line);
  if (got !== want) fail(`Enter after ${JSON.stringify(line)} gives ${JSON.stringify(got)}, not ${JSON.stringify(want)}`);
}
// Typing each block of the examples line by line: Enter gives the markers, and the user takes
// one off only before end, elif and else. The markers must come out as the file has them.
let typed = 0;
const examples = path.join(src, 'examples');
for (const name of fs.readdirSync(examples).filter((f) => f.endsWith('.s'))) {
  const lines = fs.readFileSync(path.join(examples, name), 'utf8').split('\n');
  lines.forEach((line, i) => {
    const m = /^((?:& )*)(\S.*)$/.exec(line);
    if (i === 0 || !m || !lines[i - 1].startsWith('&') && !/^(if|elif|else|while) /i.test(lines[i - 1])) return;
    let got = enter(lines[i - 1]);
    if (/^(end|elif|else)\b/i.test(m[2])) got = got.slice(2);
    ++typed;
    if (got !== m[1]) fail(`${name}:${i + 1}: Enter gives ${JSON.stringify(got)}, the file has ${JSON.stringify(m[1])}`);
  });
}
if (!typed) fail('no block line of the examples was typed');
if (!bad) console.log(`ok: ${rows.length} lines and ${typed} lines of the examples get their markers on Enter`);
process.exit(bad);
