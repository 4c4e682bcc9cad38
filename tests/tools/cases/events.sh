# Placeholders filled in order, extra arguments after; at UTF-8's edges
# ill-formed bytes and C1 controls escaped, their well-formed neighbours
# kept, as is a sequence that ends the text.
{
  printf '%s' '{"jots":[{"jotId":"u","jotMsg":"c %s.","jotArgs":[]},'
  printf '%s' '{"jotId":"x","jotMsg":"%s|%s|%d %n %%s","jotArgs":["%s","t\tb\u007f\u001f","e1",5]},7,'
  printf '{"jotMsg":"\300\257|\340\237\277|\355\240\200|\355\237\277|\364\220\200\200|'
  printf '\364\217\277\277|\302\200|\302\237|\302\240|\377"},{"jotMsg":"caf\303\251"}]}'
} >f
$t events --file f
