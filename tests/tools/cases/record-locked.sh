# needs: mount-namespace
# Under a foreign lock: one bounded wait (5 s, not two), nothing recorded,
# nothing written.
flock -x ${F%/*} sleep 20 & sleep 1
a=$(date +%s); $t record jot.user.cs.db.operation.error; s=$?
took=$(($(date +%s) - a)); [ $took -ge 5 ] && [ $took -lt 10 ] && echo once
kill $!; ls -A ${F%/*}; exit $s
