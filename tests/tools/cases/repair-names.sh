# The damaged copy is named for the UTC time of the repair, to the second;
# when that name is taken, as by an earlier repair in the same second (here
# copies named for this second and the next two), the first free "-N" after
# it, the earlier copies left as they were.
now=$(date +%s)
for s in 0 1 2; do
  echo earlier >f.damaged-$(date -u -d @$((now + s)) +%Y%m%dT%H%M%SZ)
done
printf '{"jots":[{"x' >f
$t repair --file f | sed 's/-[0-9]\{8\}T[0-9]\{6\}Z-2$/-<UTC time>-2/'
cat f.damaged-*Z f.damaged-*Z-2; echo
