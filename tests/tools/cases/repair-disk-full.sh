# needs: mount-namespace
# Where the repaired file cannot be written, the path still holds the
# damaged file; once there is room, the next repair finishes the job with
# the same copy.
mkdir w && mount -t tmpfs -o size=64k none w || exit
printf '{"jots":[{"x' >w/f; cp w/f b; head -c 100000 /dev/zero >w/z 2>&-
$t repair --file w/f; echo "exit $?"
cmp b w/f && rm w/z && $t repair --file w/f | sed 's/-[0-9TZ]*$//' &&
  cat w/f && echo && ls w | sed 's/-[0-9]\{8\}T[0-9]\{6\}Z$/-<UTC time>/'
