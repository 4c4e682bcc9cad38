# The EVENT column is as wide as the longest identifier, but no wider than
# the catalogue's longest; a longer one widens only its row. ($ marks each
# line's end.)
i=iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii
printf '{"jots":[{"jotId":"%s","jotMsg":"m"},{"jotId":"u"}]}' $i >f
$t events --file f | sed 's/$/$/'
