# Standard output that cannot be written fails the command.
$t messages >/dev/full; echo "exit $?"
printf {} >f; $t events --file f >/dev/full
