# An output that can be written only in part while it is being made: the run fails like any
# failed write, and the old file and the folder are as they were.
# also: tmpfile
{ yes 'while eax == 1' | head -n 100000; yes end | head -n 100000; } >in.s
"$gen" 1000 5 >in.asm
before=$(state)
# Room for twice the input, not for the four times that the output needs.
run_limited $(($(stat -c %s in.s) * 2 / 1024)) in.s
want_fail 13
want_unchanged
