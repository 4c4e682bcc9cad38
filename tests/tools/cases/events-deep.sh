# A record nested 200,000 levels deep is shown whole, on cstool's 256 KiB
# stack.
levels() { head -c 200000 /dev/zero | tr '\0' "$1"; }
{ printf '{"jots":['; levels '['; levels ']'; printf ']}'; } >f
{ printf '#  EVENT  MESSAGE\n1  ?      (not an event record: '; levels '['
  levels ']'; printf ')\n'; } >want
$t events --file f >shown; echo "exit $?"
cmp want shown && echo "shown whole"
