# No records: an empty "jots" array, or none.
printf '{"jots":[]}' >f; $t events --file f; echo "exit $?"
printf '{}' >f; $t events --file f
