# A file that does not parse, or is not an event record file, says why.
printf '{' >f; $t events --file f; echo "exit $?"
printf '[]' >f; $t events --file f; echo "exit $?"
printf '{"jots":"x"}' >f; $t events --file f
