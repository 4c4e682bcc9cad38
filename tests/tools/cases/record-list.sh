# The catalogue: each identifier, how many arguments its message takes (each
# '%' of tests/data/event_templates.tsv starts a %s) and the message.
$t record --list >list
awk -F '\t' 'BEGIN { printf "%-43sARGS  MESSAGE\n", "EVENT-ID" }
  { printf "%-43s%d     %s\n", $1, gsub(/%/, "%", $2), $2 }' \
  "${DATA}event_templates.tsv" | diff - list && echo "as event_templates.tsv lists them"
