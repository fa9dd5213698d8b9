# Failures while the finished output is published: an error reported only when the staging
# file is closed, and a swap that can neither finish nor be undone. Neither may end in status 0.
plain 4000 new >in.s
"$gen" 3000 4 >in.asm
before=$(state)

# Closing the staging file reports a write that failed: the old file stays, nothing is left.
shimmed REFUSE=close -- in.s
want_fail 13 "error at close"
[ "$(state)" = "$before" ] || fail "error at close: files changed: $(temps)"

# After the exchange of the two names the old file cannot be removed, and exchanging them back
# fails too: the run has not done what it must, and says so.
shimmed REFUSE=swapback -- in.s
want_fail 13 "swap stuck"
