# A folder given as the input: status 2, and nothing made.
mkdir in.s prog
before=$(state)
run in.s
want_fail 2
run prog
want_fail 2
want_unchanged
