# Each record alone on its line; ill-formed UTF-8 as U+FFFD.
{
  printf '%s' '{"jots":[{"jotId":"u","jotMsg":"c %s.","jotArgs":["a\n"],"x":1},7,'
  printf '{"jotMsg":"\377 %%s","jotArgs":[5]}]}'
} >f
$t events --json --file f
