#!/usr/bin/env bash
# cstool's informational commands and its demonstration, run as a user would.
#   cstool_commands.sh CSTOOL CASE
set -uo pipefail
cstool=$1 case=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$case" in
  messages)
    out=$("$cstool" messages) || fail "exit $?"
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 71 ] || fail "expected a header and 70 codes"
    printf '%s\n' "$out" | grep -qx '1082   Invalid JSON' || fail "1082 missing"
    if printf '%s\n' "$out" | grep -q '^1019 '; then fail "1019 is not a code"; fi
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
