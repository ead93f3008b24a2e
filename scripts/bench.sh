#!/usr/bin/env bash
# Runs the benchmarks in a throwaway Wine prefix and prints their figures.
#   scripts/bench.sh                      all of them, with their default sizes
#   scripts/bench.sh store [deliveries (1000)] [large folder (100000)] [idle seconds (30)]
#   scripts/bench.sh program [mails (10000)] [idle seconds (60)]
#   scripts/bench.sh delivery [mails (1000)] [idle passes (500)]
#   scripts/bench.sh reading [timed readings and deletions (200)] [read-and-delete cycles (1000)]
#   scripts/bench.sh reader [windows (100)]
#   scripts/bench.sh calendar [items (10000)] [coming (1000)] [reloads (1000)] [idle seconds (60)]
#   scripts/bench.sh calendar-store [largest calendar (10000)]
#   scripts/bench.sh calendar-delay [good items (1000)] [large calendar (10000)] [start-up: only that]
#   scripts/bench.sh scale [subfolder counts (0 100 1000)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
[ $# -gt 0 ] && shift
case $which in
store | program | delivery | reading | reader | calendar | calendar-store | calendar-delay | scale | all) ;;
*) echo "usage: $0 [store|program|delivery|reading|reader|calendar|calendar-store|calendar-delay|scale|all] [sizes...]" >&2; exit 2 ;;
esac
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" win64
unset DISPLAY
source "$root/scripts/wine-session.sh"
wine_session_start
bin=$root/build/win64/bin
wine regsvr32 /s "$bin/maildirmapi.dll"
status=0
if [ "$which" = store ] || [ "$which" = all ]; then
    echo "== the development store (maildirmapi.dll)"
    # Wine creates files ever more slowly as a directory grows, so the large folder is made here.
    large=$WINEPREFIX/drive_c/large-folder
    count=${2:-100000}
    mkdir -p "$large/new" "$large/tmp" "$large/cur"
    message=$'From: Bench <bench@example.org>\r\nSubject: mail 0\r\n\r\nbody\r\n'
    for ((i = 0; i < count; i++)); do
        printf '%s' "$message" >"$large/cur/1700000000.P1Q$i.bench;2,S"
    done
    wine "$bin/store_bench.exe" "${1:-1000}" "$count" "${3:-30}" 'C:\large-folder' || status=1
fi
if [ "$which" = program ] || [ "$which" = all ]; then
    echo "== the program (tavinel.exe)"
    wine "$bin/new_mail_bench.exe" "$@" || status=1
fi
if [ "$which" = delivery ] || [ "$which" = all ]; then
    echo "== forced delivery (a pass of the program against mail drops)"
    wine "$bin/forced_delivery_bench.exe" "$@" || status=1
fi
if [ "$which" = reading ] || [ "$which" = all ]; then
    echo "== Read now and Delete (the program, the kit's reader)"
    wine "$bin/read_delete_bench.exe" "$@" || status=1
fi
if [ "$which" = reader ] || [ "$which" = all ]; then
    echo "== the kit's reader server: what a window costs"
    wine "$bin/reader_bench.exe" "$@" || status=1
fi
if [ "$which" = calendar ] || [ "$which" = all ]; then
    echo "== calendar loading and the reminder clock"
    wine "$bin/calendar_bench.exe" "$@" || status=1
fi
if [ "$which" = calendar-store ] || [ "$which" = all ]; then
    echo "== the development store's calendar folder alone (maildirmapi.dll)"
    wine "$bin/calendar_store_bench.exe" "$@" || status=1
fi
if [ "$which" = calendar-delay ] || [ "$which" = all ]; then
    echo "== new mail delayed by calendar work (the program, the development store)"
    wine "$bin/calendar_delay_bench.exe" "$@" || status=1
fi
if [ "$which" = scale ] || [ "$which" = all ]; then
    echo "== the program on stores with many watched folders"
    wine "$bin/scale_bench.exe" "$@" || status=1
fi
exit $status
