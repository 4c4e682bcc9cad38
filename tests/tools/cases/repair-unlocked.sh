# Without the lock on the file's directory (here missing) repair refuses.
$t repair --file none/f; echo "exit $?"; ls -A
