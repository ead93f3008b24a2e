#!/usr/bin/env bash
# Builds the Windows program and its Wine tests (x86-64), and optionally the other builds.
#   scripts/build.sh [win64|win32|native][:TARGET,...]...   (default: win64)
# A build named with targets builds only those, e.g. win64:tavinel,maildirctl.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TAVINEL_JOBS:-2}

# ccache, when the machine has it, makes rebuilds in several checkouts of the tree cheap.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")} CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

configure_and_build() {
    local dir=$1 targets=$2; shift 2
    cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$root/build/$dir" -j "$jobs" --target ${targets//,/ }
}

for request in "${@:-win64}"; do
    build=${request%%:*} targets=
    [ "$build" = "$request" ] || targets=${request#*:}
    case $build in
    win64)
        configure_and_build win64 "${targets:-all}" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" ;;
    # The 32-bit program cannot run here (no 32-bit Wine), so only what ships is built.
    win32)
        configure_and_build win32 "${targets:-tavinel}" \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" ;;
    native)
        configure_and_build native "${targets:-all}" -DCMAKE_C_COMPILER=clang \
            -DCMAKE_CXX_COMPILER=clang++ -DTAVINEL_SANITIZE=ON ;;
    *) echo "unknown build: $request" >&2; exit 2 ;;
    esac
done
