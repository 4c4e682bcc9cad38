# The repaired file keeps the owner and the group of the damaged one.
[ "$(id -u)" = 0 ] || skip "needs root, to give a file another owner"
printf '{"jots":[{"x' >f; chown 1:2 f; chmod 7640 f
$t repair --file f >/dev/null && stat -c '%a %u:%g' f
