# --version: cstool's version, then the library's data as build-info has it
# (a count of 1 for each line); build-info's six sibling records; the help's
# subcommands and exit statuses.
$t --version >v && $t build-info >b &&
  awk -v want="cstool $CSTOOL_VERSION" \
    'NR == 1 { print ($0 == want ? "cstool $CSTOOL_VERSION" : $0) }' v &&
  sed 1d v | while read -r n x; do grep -cx "$n  *$x" b; done
n=$(awk '$1 == "gBuildNumberNumeric" { print $2 }' b)
grep -cx "gBuildNumber  *build-$n" b
grep -c '^gCs' b
$t --help | awk '/^Subcommands:/,/^$/ { printf "%s ", $1 } /^Exit status:$/'
