# needs: mount-namespace
# Each record appended to the machine's event record file, its arguments as
# given, with a warning when their number is not the message's.
$t record jot.user.cs.schema.file.error /etc/s.json &&
  $t record jot.user.cs.db.operation.error $(seq 16) && cat $F
