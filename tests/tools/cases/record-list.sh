# The catalogue: each identifier, padded to the longest one, how many
# arguments its message takes (each '%' of tests/data/event_templates.tsv
# starts a %s) and the message.
$t record --list >list
awk -F '\t' '{ id[NR] = $1; text[NR] = $2; if (length($1) > w) w = length($1) }
  END { printf "%-*s  ARGS  MESSAGE\n", w, "EVENT-ID"
        for (i = 1; i <= NR; i++)
          printf "%-*s  %d     %s\n", w, id[i], gsub(/%/, "%", text[i]), text[i] }' \
  "${DATA}event_templates.tsv" | diff - list && echo "as event_templates.tsv lists them"
