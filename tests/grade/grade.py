#!/usr/bin/env python3
# Grades nestasm-check on a fresh set (set/, or another folder beside it such as set2/): which
# mistakes it names at their line, which correct files it warns of, and whether each fix it offers
# gives a program that still runs right.
#
# A benchmark: it prints a table and exits 0 whatever it finds (2 only when it cannot run at
# all). See README.md beside it for how a case is judged.
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RUN_LIMIT = 5  # seconds a program may run; a mistake can make a loop endless


def read_manifest(path):
    cases = []
    with open(path, encoding='utf-8') as f:
        for raw in f:
            if raw.startswith('#') or not raw.strip():
                continue
            file, base, kind, line, scope, regex, desc, doc = raw.rstrip('\n').split('\t')
            cases.append(dict(file=file, base=base, kind=kind, line=int(line), scope=scope,
                              regex=regex, desc=desc, doc=doc))
    return cases


def expected_status(path):
    with open(path, encoding='utf-8') as f:
        for l in f:
            m = re.match(r'; expect: status (\d+)', l)
            if m:
                return int(m.group(1))
    sys.exit(f'{path}: no "; expect: status N" line')


def build_and_run(text, tools):
    """Translate, assemble, link and run TEXT. Returns (outcome, detail): outcome is the exit
    status as an int, or a string naming the stage that failed."""
    d = tempfile.mkdtemp(prefix='nestasm-grade-')
    try:
        src = os.path.join(d, 'p.s')
        with open(src, 'wb') as f:
            f.write(text)
        r = subprocess.run([tools['nestasm'], src], capture_output=True)
        if r.returncode != 0:
            return f'nestasm {r.returncode}', r.stderr.decode(errors='replace').strip()
        r = subprocess.run(['nasm', '-f', 'elf64', '-o', os.path.join(d, 'p.o'),
                            os.path.join(d, 'p.asm')], capture_output=True, cwd=d)
        if r.returncode != 0:
            first = r.stderr.decode(errors='replace').strip().split('\n')[0]
            return 'nasm', re.sub(r'^.*?p\.asm:', 'p.asm:', first)
        r = subprocess.run(['ld', '-o', os.path.join(d, 'p'), os.path.join(d, 'p.o')],
                           capture_output=True)
        if r.returncode != 0:
            return 'ld', r.stderr.decode(errors='replace').strip().split('\n')[0]
        try:
            r = subprocess.run([os.path.join(d, 'p')], capture_output=True, timeout=RUN_LIMIT)
        except subprocess.TimeoutExpired:
            return 'timeout', f'still running after {RUN_LIMIT} s'
        if r.returncode < 0:
            return f'signal {-r.returncode}', ''
        return r.returncode, ''
    finally:
        shutil.rmtree(d, ignore_errors=True)


def check(path, tools):
    """Runs nestasm-check on PATH; returns the headlines, each with its notes."""
    r = subprocess.run([tools['check'], '--format=json'] + tools['check_args'] + [path],
                       capture_output=True)
    try:
        items = json.loads(r.stdout.decode('utf-8', errors='replace') or '[]')
    except json.JSONDecodeError:
        return None, r.stdout.decode(errors='replace')[:200]
    heads = []
    for it in items:
        if it.get('level') == 'note' and heads:
            heads[-1]['notes'].append(it)
        else:
            it = dict(it)
            it['notes'] = []
            heads.append(it)
    return heads, ''


def names_line(head, line):
    """Whether a headline is about LINE: it stands there, or its text names that line."""
    if head.get('line') == line:
        return True
    return re.search(rf'\blines? {line}\b', head.get('message', '')) is not None


def judge(case, heads):
    """found / near / missed for a case with one mistake, and the headline that decided it."""
    line = case['line']
    cause = re.compile(case['regex'], re.IGNORECASE)
    best, why = 'missed', None
    for h in heads:
        text = ' '.join([h.get('message', '')] + [n.get('message', '') for n in h['notes']])
        if names_line(h, line) and cause.search(text):
            return 'found', h
        close = (h.get('line') is not None and abs(h['line'] - line) <= 2) or names_line(h, line) \
            or any(n.get('line') == line for n in h['notes'])
        if close and best == 'missed':
            best, why = 'near', h
    return best, why


def apply_fix(text, edits):
    """Applies a fix's edits (1-based lines, byte columns; end exclusive) to TEXT (bytes)."""
    starts = [0]
    for i, b in enumerate(text):
        if b == 0x0A:
            starts.append(i + 1)
    if starts[-1] != len(text):
        starts.append(len(text))  # the end of a last line without a line feed

    def offset(line, col):
        if line - 1 >= len(starts):
            return len(text)
        return min(starts[line - 1] + col - 1, len(text))

    spans = sorted(((offset(e['line'], e['column']), offset(e['end_line'], e['end_column']),
                     e['text'].encode('utf-8')) for e in edits), reverse=True)
    for a, b, t in spans:
        text = text[:a] + t + text[b:]
    return text


def short(h):
    name = h.get('name') or f"status {h.get('status')}"
    return f"{h.get('line')}:{name}"


def raw_outcome(outcome, want):
    if outcome == want:
        return 'runs right'
    if isinstance(outcome, int):
        return f'exits {outcome}'
    return outcome


def main():
    ap = argparse.ArgumentParser(description='Grades nestasm-check on the fresh set; prints a table.')
    ap.add_argument('--build', default='build', help='folder with nestasm and nestasm-check')
    ap.add_argument('--set', default='set',
                    help='the set to grade: a folder with ok/, bad/, style/ and manifest.tsv; '
                         'a relative one is taken from beside this script (set, set2)')
    ap.add_argument('-v', '--verbose', action='store_true', help='print each headline and fix')
    ap.add_argument('--check-args', default='-f elf64',
                    help='options for nestasm-check, as the set\'s own build would give NASM')
    a = ap.parse_args()
    tools = {'nestasm': os.path.join(a.build, 'nestasm'),
             'check': os.path.join(a.build, 'nestasm-check'),
             'check_args': a.check_args.split()}
    for t in (tools['nestasm'], tools['check']):
        if not os.access(t, os.X_OK):
            print(f'grade: {t} is not built', file=sys.stderr)
            return 2
    for t in ('nasm', 'ld'):
        if shutil.which(t) is None:
            print(f'grade: {t} is not installed', file=sys.stderr)
            return 2

    a.set = os.path.join(HERE, a.set)  # an absolute DIR stays as it is
    if not os.path.isfile(os.path.join(a.set, 'manifest.tsv')):
        print(f'grade: {a.set} has no manifest.tsv', file=sys.stderr)
        return 2
    cases = read_manifest(os.path.join(a.set, 'manifest.tsv'))
    want = {}
    rows = []
    correct = []
    for f in sorted(os.listdir(os.path.join(a.set, 'ok'))):
        if f.endswith('.s'):
            base = f[:-2]
            want[base] = expected_status(os.path.join(a.set, 'ok', f))
            correct.append(dict(file=f'ok/{f}', base=base, kind='correct', line=0,
                                scope='correct', regex='', desc='the correct program',
                                doc='-'))
    cases = correct + cases

    fixes_total = fixes_ok = 0
    untouched = {}
    broken = []
    totals = {}
    for c in cases:
        path = os.path.join(a.set, c['file'])
        with open(path, 'rb') as fh:
            text = fh.read()
        target = want[c['base']]
        raw, _ = build_and_run(text, tools)
        if c['scope'] in ('notation', 'assembly'):
            stage = ('nestasm fails' if str(raw).startswith('nestasm') else
                     'NASM rejects' if raw in ('nasm', 'ld') else
                     'runs right' if raw == target else 'runs wrong or never ends')
            untouched[stage] = untouched.get(stage, 0) + 1
        heads, err = check(path, tools)
        if heads is None:
            verdict, decider = 'no json', None
            heads = []
        elif c['scope'] in ('correct', 'style'):
            verdict = 'false alarm' if heads else 'quiet'
            decider = heads[0] if heads else None
        else:
            verdict, decider = judge(c, heads)
        fixes = []
        for h in heads:
            if not h.get('fix'):
                continue
            fixes_total += 1
            outcome, detail = build_and_run(apply_fix(text, h['fix']), tools)
            if outcome == target:
                fixes_ok += 1
                fixes.append(f"{h.get('line')}: works")
            else:
                got = f'exits {outcome}' if isinstance(outcome, int) else outcome
                fixes.append(f"{h.get('line')}: BROKEN ({got})")
                broken.append((c['file'], h, got, detail))
        key = (c['scope'], verdict)
        totals[key] = totals.get(key, 0) + 1
        if c['scope'] == 'notation':
            key = ('notation, documented' if c['doc'] == 'yes' else 'notation, undocumented', verdict)
            totals[key] = totals.get(key, 0) + 1
        rows.append((c['file'], c['kind'], c['scope'], c['doc'], str(c['line'] or ''), verdict,
                     ' '.join(short(h) for h in heads) or '-', raw_outcome(raw, target),
                     '; '.join(fixes) or '-'))
        if a.verbose:
            for h in heads:
                print(f"  {c['file']}:{h.get('line')}: {h.get('level')}: {h.get('message')}")
                for n in h['notes']:
                    print(f"  {c['file']}:{n.get('line')}: note: {n.get('message')}")

    head = ('file', 'kind', 'scope', 'documented', 'line', 'verdict', 'diagnostics (line:name)',
            'untouched', 'offered fixes')
    print('| ' + ' | '.join(head) + ' |')
    print('|' + '|'.join('---' for _ in head) + '|')
    for r in rows:
        print('| ' + ' | '.join(x.replace('|', '\\|') for x in r) + ' |')
    print()

    def n(scope, verdict):
        return totals.get((scope, verdict), 0)

    for scope in ('notation', 'notation, documented', 'notation, undocumented', 'assembly'):
        all_ = sum(v for (s, _), v in totals.items() if s == scope)
        print(f'{scope}: {all_} mistakes, found {n(scope, "found")}, near {n(scope, "near")}, '
              f'missed {n(scope, "missed")}')
    for scope in ('correct', 'style'):
        all_ = sum(v for (s, _), v in totals.items() if s == scope)
        print(f'{scope}: {all_} files, false alarms {n(scope, "false alarm")}')
    print('mistakes left untouched: ' + ', '.join(f'{k} {v}' for k, v in sorted(untouched.items())))
    print(f'fixes: {fixes_total} offered, {fixes_ok} give the right run, '
          f'{fixes_total - fixes_ok} leave the file broken')
    for file, h, got, detail in broken:
        print(f"  broken: {file}:{h.get('line')} [{h.get('name') or h.get('status')}] -> {got}"
              + (f': {detail}' if detail else ''))
    return 0


if __name__ == '__main__':
    sys.exit(main())
