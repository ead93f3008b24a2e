#!/usr/bin/env bash
# Runs the new-mail benchmark against the real program in a throwaway Wine prefix and prints
# its figures.   scripts/bench.sh [mails (10000)] [idle seconds (60)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" win64
unset DISPLAY
source "$root/scripts/wine-session.sh"
wine_session_start
bin=$root/build/win64/bin
wine regsvr32 /s "$bin/maildirmapi.dll"
wine "$bin/new_mail_bench.exe" "$@"
