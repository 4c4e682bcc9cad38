# needs: mount-namespace
# --follow: each record once as it comes; a replaced file from its first
# record again; SIGINT ends it with 0. Each wait for a line is bounded.
db=jot.user.cs.db.operation.error
# lines N: waits, 5 s at most, until j holds N lines.
lines() {
  n=0
  until [ $(wc -l <j) -ge $1 ] || [ $n -ge 50 ]; do sleep .1; n=$((n + 1)); done
}
: >j
$t record $db >/dev/null
$t events --follow --json >j 2>k &
lines 1
$t record $db >/dev/null
lines 2
echo '{"jots":[]}' >$F.n; mv $F.n $F
$t record jot.user.cs.upgrade.config.error x >/dev/null
lines 3
kill -INT $!; wait $!; echo $?
cat j k
