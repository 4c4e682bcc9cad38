# --in-place keeps the owner and group of the file it replaces; where it
# cannot keep them (in a user namespace that maps neither), it replaces
# nothing and leaves no temporary file.
[ "$(id -u)" = 0 ] || skip "needs root, to give a file another owner"
unshare -U -r true 2>/dev/null || skip "no user namespace: $(unshare -U -r true 2>&1)"
fill="$t fill-ids --schema ${DATA}host_config.schema.json"
cp "${DATA}host_config.json" c; chown 4321:4322 c; chmod 7640 c
$fill c --in-place && stat -c '%a %u:%g' c; echo "exit $?"
cp "${DATA}host_config.json" d; chown 4321:4322 d
unshare -U -r $fill d --in-place; echo "exit $?"
cmp "${DATA}host_config.json" d && stat -c %u:%g d && ls -A
