# needs: mount-namespace
# record refuses, saying why, where the event record file or its directory
# keeps the library from storing the record; the file stays as it was.
up=jot.user.cs.upgrade.config.error
for text in '{' '{"jots":{}}' '{"x":1}'; do
  printf '%s' "$text" >$F; $t record $up; echo "exit $?"; cat $F; echo
done
rm -r ${F%/*}; $t record $up; echo "exit $?"
mkdir ${F%/*}; printf '{"jots":[]}' >$F; mount -o remount,ro /var/run
$t record $up; echo "exit $?"; cat $F; echo
