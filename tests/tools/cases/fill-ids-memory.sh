# Out of memory: indenting 200,000 levels needs far more than 300 MB.
[ "${CSTOOL_SANITIZED:-0}" = 0 ] ||
  skip "a sanitized cstool cannot start with its memory so limited"
levels() { head -c 200000 /dev/zero | tr '\0' "$1"; }
{ printf '{"a":'; levels '['; levels ']'; printf '}'; } >deep
ulimit -v 300000
$t fill-ids --schema "${DATA}host_config.schema.json" deep --pretty
