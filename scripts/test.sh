#!/usr/bin/env bash
# Runs every test: the native tests of the portable code (with sanitizers), a bounded fuzzing
# run, the 32-bit build (compiled only: it cannot run here), the Wine tests of the Windows
# program in a throwaway prefix on a private X display, and the packages with their installer.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${TAVINEL_FUZZ_SECONDS:-60}

"$root/scripts/install-deps.sh" || exit 1

failed=()
step() {
    local name=$1; shift
    echo "== $name"
    "$@" || failed+=("$name")
}

step "native build" scripts/build.sh native
step "native tests" ctest --test-dir build/native --output-on-failure -j 2 --timeout 300

fuzz() {
    local fuzzer
    for fuzzer in build/native/bin/*_fuzz; do
        [ -x "$fuzzer" ] || continue
        local corpus; corpus=$(mktemp -d)
        cp -r "$root"/devkit/*/fuzz_corpus/. "$corpus" 2>/dev/null || true
        echo "$(basename "$fuzzer"): ${fuzz_seconds}s"
        "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" 2>&1 |
            grep -E 'stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|Done'
        local status=${PIPESTATUS[0]}
        rm -rf "$corpus"
        [ "$status" -eq 0 ] || return 1
    done
}
step "fuzzing" fuzz

step "win32 build" scripts/build.sh win32
step "win64 build" scripts/build.sh win64

wine_tests() (
    unset DISPLAY # a private Xvfb: tests never pop up windows on a desktop
    source "$root/scripts/wine-session.sh"
    wine_session_start
    ctest --test-dir build/win64 --output-on-failure -j 1 --timeout 600
)
step "wine tests" wine_tests
# Once per run: the packages of both bitnesses, checked, and the x64 installer tried in a fresh
# prefix.
step "package" scripts/package.sh
step "package tests" tests/package/check_package.sh

echo
if [ ${#failed[@]} -eq 0 ]; then
    echo "ALL TESTS PASSED"
else
    echo "FAILED: ${failed[*]}"
    exit 1
fi
