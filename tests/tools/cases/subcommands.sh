# No subcommand, or a word that is none: the list, and the nearest
# subcommand to a slip of one or two letters (a transposition is two).
$t; echo "exit $?"
$t mesages; echo "exit $?"
$t recrod; echo "exit $?"
$t --pretty sleep
