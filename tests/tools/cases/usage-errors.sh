# cstool used wrongly exits 2: a missing required argument of each
# subcommand that has one, options that exclude each other, an identifier
# outside the catalogue, too many message arguments.
$t message; echo "exit $?"
$t fill-ids c; echo "exit $?"
$t fill-ids --schema s; echo "exit $?"
$t upgrade-ctx; echo "exit $?"
$t record; echo "exit $?"
$t fill-ids --schema s c --in-place -o x; echo "exit $?"
$t record jot.x; echo "exit $?"
$t record jot.user.cs.db.operation.error $(seq 17)
