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

# The calendar: appointments made, dropped in, listed with their reminders, removed.
name=$("$tool" "$store" appointment "Budget review" "2031-07-01 16:00" --zone=Europe/Berlin \
    --alarm=15 --location="Room 4" --name=budget)
[ "$name" = budget ] && [ -f "$store/IPM_SUBTREE/Calendar/budget.ics" ] || fail "no budget.ics"
printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:20310102T100000Z\r\nSUMMARY:Dropped\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' |
    "$tool" "$store" ics - dropped >/dev/null
printf 'BEGIN:VCALENDAR\r\n' >"$store/broken.ics"
"$tool" "$store" ics "$store/broken.ics" broken >/dev/null
soon=$("$tool" "$store" appointment "Soon" now+1h --alarm=5)
listing=$("$tool" "$store" calendar)
grep -q "^budget  reminder 2031-07-01 13:45:00 UTC  (UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna  Budget review @ Room 4$" \
    <<<"$listing" || fail "budget not listed with its reminder: $listing"
grep -q "^dropped  no reminder  Dropped$" <<<"$listing" || fail "dropped item: $listing"
grep -q "^broken  unreadable: " <<<"$listing" || fail "broken item: $listing"
grep -q "^$soon  reminder .* UTC  (UTC) Coordinated Universal Time  Soon$" <<<"$listing" || fail "soon: $listing"
"$tool" "$store" unappoint budget
[ ! -e "$store/IPM_SUBTREE/Calendar/budget.ics" ] || fail "budget not removed"
status=0; "$tool" "$store" appointment "x" "2031-07-01 16:00" --zone=Mars/Olympus >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "an unknown zone gave $status, not 2"

# A localized mailbox: the calendar folder under another name takes the appointments.
local_store=$(dirname "$store")/kalender
"$tool" "$local_store" init --calendar=Kalender >/dev/null
[ -d "$local_store/IPM_SUBTREE/Kalender" ] && [ ! -e "$local_store/IPM_SUBTREE/Calendar" ] ||
    fail "init --calendar did not name the calendar folder"
"$tool" "$local_store" appointment "Termin" now+1h --alarm=5 --name=termin >/dev/null
[ -f "$local_store/IPM_SUBTREE/Kalender/termin.ics" ] || fail "no appointment in Kalender"

status=0; "$tool" "$store" send Missing "a@b" "x" >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "delivery to a missing folder gave $status, not 2"
status=0; "$tool" "$store" frobnicate >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "an unknown command gave $status, not 2"
echo "maildirctl: all checks passed"
