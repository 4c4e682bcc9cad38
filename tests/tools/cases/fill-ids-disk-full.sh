# needs: mount-namespace
# On a full file system the replacement fails whole and leaves nothing
# behind.
mkdir w && mount -t tmpfs -o size=256k none w && cp "${DATA}host_config.json" w/c &&
  head -c 300000 /dev/zero >w/z 2>&-
$t fill-ids --schema "${DATA}host_config.schema.json" w/c --in-place --pretty
s=$?; cmp w/c "${DATA}host_config.json"; ls -A w; exit $s
