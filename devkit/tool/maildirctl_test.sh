#!/usr/bin/env bash
# maildirctl from the command line: a store is made, filled and listed, and bad input refused.
set -euo pipefail
tool=$1
store=$(mktemp -d)/store
trap 'rm -rf "$(dirname "$store")"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" "$store" init >/dev/null
[ -d "$store/IPM_SUBTREE/Inbox/new" ] || fail "no Inbox after init"
"$tool" "$store" mkfolder "Inbox/Family & Friends"
[ -d "$store/IPM_SUBTREE/Inbox/Family & Friends/cur" ] || fail "no subfolder"
unique=$("$tool" "$store" send Inbox "Ann <ann@example.org>" "Café" "Bonjour")
[ -f "$store/IPM_SUBTREE/Inbox/new/$unique" ] || fail "sent mail not in new/"
[ -z "$(ls -A "$store/IPM_SUBTREE/Inbox/tmp")" ] || fail "tmp/ not empty"
printf 'Subject: piped\r\n\r\nbody' | "$tool" "$store" deliver "Inbox/Family & Friends" >/dev/null
listing=$("$tool" "$store" list)
grep -q "Ann: Café" <<<"$listing" || fail "list misses the sent mail: $listing"
grep -q ": piped" <<<"$listing" || fail "list misses the piped mail"
"$tool" "$store" rmfolder "Inbox/Family & Friends"
[ ! -e "$store/IPM_SUBTREE/Inbox/Family & Friends" ] || fail "folder not removed"

status=0; "$tool" "$store" send Missing "a@b" "x" >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "delivery to a missing folder gave $status, not 2"
status=0; "$tool" "$store" frobnicate >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "an unknown command gave $status, not 2"
echo "maildirctl: all checks passed"
