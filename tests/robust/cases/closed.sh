# A stdout closed before the run: status 13, and the output file complete all the same.
two_files
"$bin" in.s >&- 2>"$err"
st=$?
want_status 13
msg_of 13 | cmp -s - "$err" || fail "stderr: $(cat "$err")"
# Complete, and once: a closed stdout must not become the output file's descriptor.
same in.asm want "output file"
# A reader that leaves early: SIGPIPE (141) or status 13, and the file complete either way.
yes 'mov eax, 1' | head -n 200000 >big.s
"$bin" big.s 2>"$err" | head -c 1 >/dev/null
st=${PIPESTATUS[0]}
[ "$st" = 141 ] || [ "$st" = 13 ] || fail "status $st with a reader gone"
same big.s big.asm "output file with a reader gone"
