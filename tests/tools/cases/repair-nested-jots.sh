# Only the root's own "jots" member holds the records: one in another member
# before it, or in a record, is not taken for it.
printf '{"host":{"jots":[{"a":1}]},"jots":[{"b' >f
printf '{"jots":[{"a":1},{"jotId":"u","jots":["x' >g
$t repair --file f | sed 's/-[0-9TZ]*$//'; cat f; echo
$t repair --file g | sed 's/-[0-9TZ]*$//'; cat g; echo
