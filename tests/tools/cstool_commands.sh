#!/usr/bin/env bash
# cstool's commands, their exit statuses and messages, run as a user would.
#   cstool_commands.sh CSTOOL CASE
set -uo pipefail
cstool=$1 case=$2
data=$(cd "$(dirname "$0")/../data" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect STATUS STDERR ARG...: runs cstool; its exit status and standard error
# must be these (STDERR "*": any). Its standard output is left in $out.
expect() {
  local status=$1 err=$2 got
  shift 2
  out=$("$cstool" "$@" 2>/tmp/cstool-err.$$); got=$?
  local text; text=$(cat /tmp/cstool-err.$$); rm -f /tmp/cstool-err.$$
  [ "$got" -eq "$status" ] || fail "cstool $*: exit $got, not $status: $text"
  [ "$err" = "*" ] || [ "$text" = "$err" ] || fail "cstool $*: said '$text', not '$err'"
}
# private CASE: reruns this script's CASE in a private mount namespace, where
# it may mount tmpfs over /var/run and elsewhere without touching the machine.
private() {
  unshare -m true 2>/dev/null || { echo "no private mount namespace; skipped"; exit 77; }
  exec unshare -m "$0" "$cstool" "$1"
}

case "$case" in
  messages)
    "$cstool" messages | diff -u "$data/error_messages.txt" - || fail "messages"
    ;;
  message)
    [ "$("$cstool" message 1102)" = 'Kernix_ForkExec failed, errno: %s' ] || fail "1102"
    [ "$("$cstool" message 1019)" = 'unknown message' ] || fail "1019"
    [ "$("$cstool" message -5)" = 'unknown message' ] || fail "-5"
    for bad in abc 10x 99999999999 ''; do
      err=$("$cstool" message "$bad" 2>&1 >/dev/null); status=$?
      [ $status -eq 2 ] || fail "'$bad' gave exit $status"
      [[ $err == *"is not an error code"* ]] || fail "'$bad' said: $err"
    done
    expect 2 "*" message
    expect 2 "*"
    expect 0 "" --help
    [ "$(printf '%s\n' "$out" | awk '/^Subcommands:/ { on = 1; next } on { printf "%s ", $1 }')" = \
      "messages message build-info record events fill-ids upgrade-ctx demo " ] || fail "--help: $out"
    ;;
  events)
    # A reader waits while a writer holds the exclusive lock on the directory.
    dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT
    printf '{"jots":[]}' >"$dir/f"
    flock -x "$dir" sh -c 'touch "$0/held"; sleep 1' "$dir" &
    while [ ! -e "$dir/held" ]; do sleep 0.05; done
    started=$(date +%s%N)
    expect 0 "" events --file "$dir/f"
    [ $(($(date +%s%N) - started)) -gt 500000000 ] || fail "events read while the lock was held"
    wait
    ;;
  record) private record-inside ;;
  record-inside)
    mount -t tmpfs none /var/run && mkdir -p /var/run/tessel/files || exit 77
    file=/var/run/tessel/files/loadStoreErrors.json id=jot.user.cs.db.operation.error
    expect 0 "" record $id 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16
    [ "$out" = "recorded $id in $file (1 record)" ] || fail "said: $out"
    grep -q '"jotArgs":\["1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16"\]' \
      "$file" || fail "16 arguments: $(cat "$file")"
    expect 2 "cstool: at most 16 message arguments" record $id 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17
    printf '{' >"$file"
    expect 1 "cstool: $file does not parse as JSON: Missing a name for object member (at byte offset 1); nothing recorded, and 'jot.no.such' could not be checked" record jot.no.such
    printf '{"jots":{}}' >"$file"
    expect 1 "cstool: $file: not an event record file: \"jots\" is not an array" record $id
    printf '{"x":1}' >"$file"
    expect 1 "cstool: $file has no \"jots\" array, so the record was discarded" record $id
    printf '{"jots":[]}' >"$file"
    mount -o remount,ro /var/run || exit 77
    expect 1 "cstool: cannot write $file (see the system log); nothing recorded" record $id
    ;;
  fill-ids) private fill-ids-inside ;;
  fill-ids-inside)
    schema=$data/host_config.schema.json config=$data/host_config.json
    work=$(mktemp -d) && trap 'umount "$work"; rmdir "$work"' EXIT &&
      mount -t tmpfs -o size=256k none "$work" || exit 77
    added10="fill-ids: added 10 identifiers"
    # -o replaces an existing file whole: another link to it keeps the old text.
    echo old >"$work/out" && ln "$work/out" "$work/link"
    expect 0 "$added10" fill-ids --schema "$schema" "$config" -o "$work/out"
    [ "$out" = "" ] && [ "$(cat "$work/link")" = old ] || fail "-o wrote in place"
    expect 0 "fill-ids: added 0 identifiers" fill-ids --schema "$schema" "$work/out"
    [ "$out" = "$(cat "$work/out")" ] || fail "a second pass changed the document"
    echo '{"properties":{"cs_generated_id":{}}}' >"$work/marked.json"
    expect 0 "fill-ids: added 1 identifier" fill-ids --schema "$work/marked.json" "$work/marked.json"
    # --in-place through a symbolic link replaces the target; the link stays.
    cp "$config" "$work/target.json" && ln -s target.json "$work/link.json"
    expect 0 "$added10" fill-ids --schema "$schema" "$work/link.json" --in-place
    [ -L "$work/link.json" ] && [ "$(grep -o cs_generated_id "$work/target.json" | wc -l)" -eq 13 ] ||
      fail "--in-place through a link"
    expect 2 "cstool: $work/none.json: cannot open: No such file or directory" \
      fill-ids --schema "$schema" "$work/none.json"
    # A full file system: the replacement fails and leaves nothing behind.
    head -c 300000 /dev/zero >"$work/filler" 2>/dev/null
    expect 1 "cstool: $work/target.json: cannot write: No space left on device" \
      fill-ids --schema "$schema" "$work/target.json" --in-place --pretty
    [ "$(ls -A "$work" | tr '\n' ' ')" = "filler link link.json marked.json out target.json " ] ||
      fail "left behind: $(ls -A "$work")"
    # A pipe is read to its end, however long.
    rm "$work/filler"
    printf '{"a":%s%s}' "$(printf '%30000s' | tr ' ' '[')" "$(printf '%30000s' | tr ' ' ']')" >"$work/deep.json"
    expect 0 "fill-ids: added 1 identifier" fill-ids --schema "$work/marked.json" <(cat "$work/deep.json")
    # Out of memory (indenting 30,000 levels needs gigabytes): exit 1 with the
    # reason. Sanitizers cannot start under a memory limit.
    err=$(ulimit -v 300000; "$cstool" fill-ids --schema "$work/marked.json" "$work/deep.json" --pretty -o /dev/null 2>&1)
    status=$?
    [[ $err == *Sanitizer* ]] || [ "$status:$err" = "1:cstool: std::bad_alloc" ] || fail "out of memory: $status: $err"
    ;;
  build-info)
    out=$("$cstool" build-info) || fail "exit $?"
    number=$(printf '%s\n' "$out" | awk '$1 == "gBuildNumberNumeric" { print $2 }')
    printf '%s\n' "$out" | grep -qx "gBuildNumber  *build-$number" || fail "gBuildNumber"
    [ "$(printf '%s\n' "$out" | grep -c '^gCs')" -eq 6 ] || fail "six sibling records"
    ;;
  demo)
    # In a private mount namespace with an empty /var/run, so the event
    # record file of the machine is never touched (the demonstration's log
    # file in /tmp is its own).
    unshare -m true 2>/dev/null || { echo "no private mount namespace; skipped"; exit 77; }
    out=$(unshare -m bash -c 'mount -t tmpfs none /var/run && "$0" demo' "$cstool") ||
      fail "demo exit $?: $out"
    for expected in \
      'Error Code: 1081' \
      'Message: Failed to parse JSON file /etc/configstore/schemas/host.schema.json' \
      ' component=cstool-demo op=schema-load] [1081] Failed to parse JSON file ' \
      ' component=cstool-demo op=schema-load] ConfigStoreException: #0 ' \
      ' component=cstool-demo op=schema-load] [1081]Failed to parse JSON file ' \
      '1  jot.user.cs.schema.file.error  Error processing schema file /etc/configstore/schemas/host.schema.json.' \
      '"cs_generated_id": "kept-from-an-earlier-run"'; do
      [[ $out == *"$expected"* ]] || fail "missing: $expected"$'\n'"$out"
    done
    [ "$(printf '%s\n' "$out" | grep -c '"cs_generated_id": ')" -eq 4 ] || fail "four identifiers"
    ;;
  *) fail "unknown case $case" ;;
esac
