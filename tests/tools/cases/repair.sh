# A damaged file keeps its complete records, compact, with the damaged file
# kept beside it and its mode kept, set-ID and sticky bits too; the records
# of f.held go after them. A whole file is left alone unless f.held holds
# records.
r() {
  printf '{"jotId":"jot.user.cs.schema.file.error","jotMsg":"Error processing schema file %%s.","jotArgs":["%s"]}' "$1"
}
H='{"jotId":"jot.user.cs.dfs.restore.error","jotMsg":"DataFile store cannot be restored.","jotArgs":[]}'
# Shows each record of r as R<its argument>, the held one as H.
short() {
  sed 's/{"jotId":"jot\.user\.cs\.schema\.file\.error","jotMsg":"Error processing schema file %s\.","jotArgs":\["\([0-9]*\)"\]}/R\1/g
       s/{"jotId":"jot\.user\.cs\.dfs\.restore\.error","jotMsg":"DataFile store cannot be restored\.","jotArgs":\[\]}/H/g' "$@"
}
mkdir in
{ printf '{"jots":['; for i in $(seq 31); do [ $i = 1 ] || printf ,; r $i; done
  printf ']}'; } >in/whole
head -c -40 in/whole >in/cut
{ head -c -1 in/whole; printf ',"more":{"a":1},"x'; } >in/more
{ cat in/whole; printf ' x'; } >in/after
: >in/empty
{ printf '{\n  "jots": [\n    '; r 1; printf ',\n    '; r 2 | head -c -7; } >in/indented

# repair FILE HELD: repairs f, a copy of FILE of mode 7640, with the lines
# HELD in f.held; shows what it says, f's mode and text, f.held's size, and
# what is left once the damaged copy matches FILE.
repair() {
  cp "$1" f; printf "$2" >f.held; chmod 7640 f
  $t repair --file f | sed 's/-[0-9TZ]*$//'
  stat -c %a f; short f; echo; wc -c <f.held
  cmp "$1" f.damaged-* && rm f.damaged-* && ls
}
repair in/cut ''
repair in/cut "$H\n$H\n"
repair in/more ''
repair in/after ''
repair in/empty ''
repair in/indented ''
cp in/whole f; : >f.held
$t repair --file f; short f; echo; wc -c <f.held
printf "$H\n" >f.held
$t repair --file f; short f; echo; wc -c <f.held
