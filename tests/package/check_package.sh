#!/usr/bin/env bash
# Checks what scripts/package.sh wrote to dist/: the five files, SHA256SUMS, exactly the listed
# files in each zip and installer, each holding the program of its bitness; then tries the x64
# installer under Wine in a fresh prefix (tests/wine/installer_test.cpp).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
dist=$root/dist
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)

failed=0
fail() { echo "FAIL: $*"; failed=1; }
same() { [ "$2" = "$3" ] || fail "$1: '$3', expected '$2'"; }

same "dist/" "SHA256SUMS tavinel-$version-x64-setup.exe tavinel-$version-x64.zip \
tavinel-$version-x86-setup.exe tavinel-$version-x86.zip" "$(cd "$dist" && echo *)"
(cd "$dist" && sha256sum --check --strict --quiet SHA256SUMS) || fail "SHA256SUMS does not verify"
same "SHA256SUMS lists" "tavinel-$version-x64-setup.exe tavinel-$version-x64.zip \
tavinel-$version-x86-setup.exe tavinel-$version-x86.zip" "$(awk '{print $2}' "$dist/SHA256SUMS" | sort | xargs)"

unpacked=$(mktemp -d /tmp/tavinel-unpacked.XXXXXX)
trap 'rm -rf "$unpacked"' EXIT
for arch in x64 x86; do
    case $arch in x64) bin=build/win64/bin ;; x86) bin=build/win32/bin ;; esac
    zip=$dist/tavinel-$version-$arch.zip setup=$dist/tavinel-$version-$arch-setup.exe
    same "$(basename "$zip")" "README.txt tavinel.exe" \
        "$(python3 -c 'import sys, zipfile; print(*sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")"
    python3 -m zipfile -e "$zip" "$unpacked/$arch"
    cmp -s "$unpacked/$arch/tavinel.exe" "$bin/tavinel.exe" || fail "$(basename "$zip"): not the $arch build"
    # Static: nothing beside it but what every Windows has (no libstdc++, libgcc, winpthread).
    imports=$(x86_64-w64-mingw32-objdump -p "$bin/tavinel.exe" | sed -n 's/^\tDLL Name: //p' | xargs)
    case " ${imports,,} " in *" lib"*) fail "$arch tavinel.exe needs $imports" ;; esac

    echo "$(basename "$setup") holds:"
    7z l -ba -slt "$setup" | sed -n 's/^Path = //p' | tee "$unpacked/$arch.listing" | sed 's/^/    /'
    same "$(basename "$setup")" "README.txt tavinel.exe uninstall.exe" \
        "$(grep -v '^\$PLUGINSDIR/' "$unpacked/$arch.listing" | sort | xargs)"
    7z e -so "$setup" tavinel.exe 2>/dev/null | cmp -s - "$bin/tavinel.exe" ||
        fail "$(basename "$setup"): not the $arch build"
    7z e -so "$setup" README.txt 2>/dev/null | cmp -s - "$unpacked/$arch/README.txt" ||
        fail "$(basename "$setup"): another README.txt than the zip's"
done

windows_path() { echo "Z:${1//\//\\}"; }
installer_test() (
    unset DISPLAY # a private Xvfb
    source "$root/scripts/wine-session.sh"
    wine_session_start # a fresh prefix: nothing of an earlier installation
    wine regsvr32 /s "$root/build/win64/bin/maildirmapi.dll"
    export TAVINEL_VERSION=$version
    TAVINEL_SETUP=$(windows_path "$dist/tavinel-$version-x64-setup.exe")
    TAVINEL_UNPACKED=$(windows_path "$unpacked")
    export TAVINEL_SETUP TAVINEL_UNPACKED
    timeout 600 wine "$root/build/win64/bin/installer_test.exe" --gtest_color=no
)
installer_test || fail "installer tests under Wine"

[ "$failed" = 0 ] && echo "package checks passed"
exit "$failed"
