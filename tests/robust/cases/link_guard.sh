# A symbolic link at the output path is followed only as the kernel's fs.protected_symlinks
# would follow it, whatever the machine's setting: in a sticky folder that anyone can write, a
# link owned by neither the caller nor the folder's owner is refused ("cant write"), and nothing
# changes. Links in one's own folders, or one's own links, are followed as before.
need_root
chmod 755 "$work" .
mkdir shared private
chmod 1777 shared
printf 'nop\n' >shared/p.s
"$gen" 3000 4 >private/x
chmod 600 private/x

# Planted by another user: refused, the file it names untouched.
ln -s "$PWD/private/x" shared/p.asm
chown -h 65534:65534 shared/p.asm
before=$(state)
run shared/p.s
want_fail 13 "another user's link in a shared folder"
[ "$(state)" = "$before" ] || fail "another user's link: files changed"

# Also when it is the second link of a chain.
rm shared/p.asm
ln -s "$PWD/shared/q" shared/p.asm
ln -s "$PWD/private/x" shared/q
chown -h 65534:65534 shared/q
before=$(state)
run shared/p.s
want_fail 13 "another user's link behind one's own"
[ "$(state)" = "$before" ] || fail "link chain: files changed"

# The caller's own link there is followed.
rm shared/p.asm shared/q
ln -s "$PWD/private/x" shared/p.asm
run shared/p.s
want_status 0 "own link"
same private/x shared/p.s "own link: the file it names"
[ -L shared/p.asm ] || fail "own link replaced"

# So is a link of the folder's owner.
"$gen" 3000 4 >private/x
chown 65534:65534 shared
chown -h 65534:65534 shared/p.asm
run shared/p.s
want_status 0 "the folder owner's link"
same private/x shared/p.s "the folder owner's link: the file it names"

# And another user's link in a folder that is not sticky, or not writable by all.
for m in 0777 1775; do
  chown 0:0 shared
  chmod $m shared
  "$gen" 3000 4 >private/x
  run shared/p.s
  want_status 0 "another user's link, folder mode $m"
  same private/x shared/p.s "folder mode $m: the file it names"
done

# A link on the way to the file, as a folder of the path a link names, is held to the same rule:
# another user's link in the shared folder sends the output nowhere.
chown 0:0 shared
chmod 1777 shared
rm -f shared/p.asm
"$gen" 3000 4 >private/x
ln -s "$PWD/private" shared/way
chown -h 65534:65534 shared/way
ln -s "$PWD/shared/way/y" shared/p.asm
before=$(state)
run shared/p.s
want_fail 13 "another user's link as a folder on the way"
[ "$(state)" = "$before" ] || fail "link as a folder on the way: files changed"
[ -e private/y ] && fail "link as a folder on the way: a file was made behind it"

# One's own link there is followed, also as a folder.
chown -h 0:0 shared/way
run shared/p.s
want_status 0 "own link as a folder on the way"
same private/y shared/p.s "own link as a folder on the way: the file it names"
