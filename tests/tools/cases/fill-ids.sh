# fill-ids writes where it is asked, keeping the mode of a file it replaces,
# and leaves no temporary file behind.
config=${DATA}host_config.json
fill() { $t fill-ids --schema "${DATA}host_config.schema.json" "$@"; }
# Compact on one line, indented in place keeping the mode; either way a
# second pass finds nothing to add.
fill "$config" | tee a | wc -l && fill a >/dev/null; echo "exit $?"
cp "$config" c; chown 4321:4322 c 2>&-; chmod 7640 c &&
  fill c --in-place --pretty && grep -c '^  "network": {$' c &&
  fill c >/dev/null && stat -c %a c; echo "exit $?"
# A new file gets 0666 less the umask; -o replaces a file whole, so another
# link to it keeps the old text.
(umask 027; fill "$config" -o n && stat -c %a n && echo old >out && ln out l &&
  fill "$config" -o out && cat l && rm l); echo "exit $?"
# --in-place through a symbolic link replaces its target.
cp "$config" t && ln -s t y && fill y --in-place && [ -L y ] &&
  grep -o cs_generated_id t | wc -l; echo "exit $?"
# Read to its end, however deep.
levels() { head -c 200000 /dev/zero | tr '\0' "$1"; }
{ printf '{"a":'; levels '['; levels ']'; printf '}'; } >deep
{ cat deep; echo; } >want
cat deep | fill /dev/stdin >shown; echo "exit $?"
cmp want shown && echo "read to its end"
# What fails leaves the file as it was.
printf '{,' >bad; fill bad --in-place; echo "exit $?"; cat bad; echo
fill /dev/null --in-place; echo "exit $?"
fill none; echo "exit $?"
ls -A
