# needs: mount-namespace
# A library call that cannot take the lock, with no system log to tell: its
# record waits beside the file for the next call.
[ ! -e /dev/log ] || mount --bind /dev/null /dev/log || exit
flock -x ${F%/*} sleep 20 & sleep 1
$t demo >/dev/null 2>&1; kill $!
grep -c '^{"jotId":"jot.user.cs.schema.file.error",' $F.unstored
