# needs: strace
# Killed once the damaged file has its second name, at the rename of the
# repaired file: the path still holds every record, and the next repair
# finishes the job with the same copy.
r() {
  printf '{"jotId":"jot.user.cs.schema.file.error","jotMsg":"Error processing schema file %%s.","jotArgs":["%s"]}' "$1"
}
# Shows each record of r as R<its argument>, the held one as H.
short() {
  sed 's/{"jotId":"jot\.user\.cs\.schema\.file\.error","jotMsg":"Error processing schema file %s\.","jotArgs":\["\([0-9]*\)"\]}/R\1/g
       s/{"jotId":"jot\.user\.cs\.dfs\.restore\.error","jotMsg":"DataFile store cannot be restored\.","jotArgs":\[\]}/H/g' "$@"
}
{ printf '{"jots":['; for i in $(seq 31); do [ $i = 1 ] || printf ,; r $i; done
  printf ']}'; } | head -c -40 >b
cp b f
echo '{"jotId":"jot.user.cs.dfs.restore.error","jotMsg":"DataFile store cannot be restored.","jotArgs":[]}' >f.held
{
  (strace -f -qq -o /dev/null -e inject=rename,renameat,renameat2:signal=KILL \
    $t repair --file f; :) 2>/dev/null
  cmp b f && stat -c %h f && $t repair --file f && short f && echo &&
    wc -c <f.held && cmp b f.d* && echo $(ls)
} | sed 's/-[0-9T]*Z//g'
