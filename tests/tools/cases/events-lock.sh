# A reader waits while a writer holds the lock on the directory, but not
# while another reader holds it.
printf '{}' >f
# took NANOSECONDS: the nanoseconds since then.
took() { echo $(($(date +%s%N) - $1)); }
flock -x . sh -c 'touch h; sleep 1' &
until [ -e h ]; do sleep .05; done
a=$(date +%s%N); $t events --file f
[ "$(took $a)" -gt 500000000 ] && echo waited
wait; rm h
flock -s . sh -c 'touch h; sleep 3' &
until [ -e h ]; do sleep .05; done
a=$(date +%s%N); $t events --file f
[ "$(took $a)" -lt 1500000000 ] && echo "did not wait"
wait
