$t events --file f; echo "exit $?"
mkdir f; $t events --file f
