# An input that is its own output, by any spelling or link: status 14, and nothing changed.
printf 'if eax == 1\n& nop\nend\n' >x.asm
cp x.asm keep
for spell in x.asm ./x.asm; do
  before=$(state)
  run "$spell"
  want_fail 14
  want_unchanged "$spell"
done
cp keep p.s
ln -s p.s p.asm
cp keep q.s
ln q.s q.asm
mkdir sub
cp keep sub/r.s
ln -s "$PWD/sub/r.s" r.asm
ln -s ../r.asm sub/r.asm
for spell in p.s q.s sub/r.s; do
  before=$(state)
  run "$spell"
  want_fail 14
  want_unchanged "$spell"
done

# A link that reaches the input only through more links than one lookup follows (41 here: the
# kernel's stat gives up), while the output's links are followed one at a time.
mkdir chain
cp keep chain/s.s
ln -s . chain/d0
for i in $(seq 1 39); do ln -s "d$((i - 1))" "chain/d$i"; done
ln -s d39/s.s chain/s.asm
before=$(state)
run chain/s.s
want_fail 14 "a long chain of links to the input"
want_unchanged "a long chain of links to the input"
