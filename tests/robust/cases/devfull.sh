# A stdout that is always full: status 13, and the output file complete all the same.
[ -w /dev/full ] || exit 77
two_files
echo old >in.asm
# The file is written in full before the echo fails, and is then the run's result.
"$bin" in.s >/dev/full 2>"$err"
st=$?
want_status 13
msg_of 13 | cmp -s - "$err" || fail "stderr: $(cat "$err")"
same in.asm want "output file"
