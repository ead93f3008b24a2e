#!/usr/bin/env bash
# Builds the release program for x64 and x86 (optimised, static; the debug information stays
# beside each in build/win64/bin and build/win32/bin and is not shipped) and writes to dist/:
#   tavinel-VERSION-x64-setup.exe  tavinel-VERSION-x86-setup.exe   per-user NSIS installers
#   tavinel-VERSION-x64.zip        tavinel-VERSION-x86.zip         portable: program and README.txt
#   SHA256SUMS                                                     over the four files
# VERSION is the project version in CMakeLists.txt. The development kit is not shipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh
scripts/build.sh win64:tavinel win32:tavinel
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64/CMakeCache.txt)
[ -n "$version" ] || { echo "package: no project version in build/win64" >&2; exit 1; }

# Files carry the time of the last commit, so that the same tree packs the same zips.
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
dist=$root/dist
stage=$root/build/package
rm -rf "$dist" "$stage"
mkdir -p "$dist"

for arch in x64 x86; do
    case $arch in
    x64) bin=build/win64/bin bitness=64-bit ;;
    x86) bin=build/win32/bin bitness=32-bit ;;
    esac
    files=$stage/$arch
    mkdir -p "$files"
    cp "$bin/tavinel.exe" "$files/"
    # Notepad before Windows 10 shows only CRLF line ends.
    sed -e "s/@VERSION@/$version/g" -e "s/@BITNESS@/$bitness/g" -e 's/$/\r/' \
        installer/README.txt >"$files/README.txt"
    touch -d "@$epoch" "$files"/*

    makensis -V2 -NOCD -DVERSION="$version" -DARCH=$arch -DSRCDIR="$root" -DFILES="$files" \
        -DOUTFILE="$dist/tavinel-$version-$arch-setup.exe" installer/tavinel.nsi
    (cd "$files" && python3 - "$dist/tavinel-$version-$arch.zip" tavinel.exe README.txt <<'PY'
import os, sys, time, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for name in sys.argv[2:]:
        entry = zipfile.ZipInfo(name, time.gmtime(os.path.getmtime(name))[:6])
        entry.external_attr = 0o644 << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(name, "rb") as data:
            archive.writestr(entry, data.read())
PY
    )
done

(cd "$dist" && sha256sum -- *-setup.exe *.zip >SHA256SUMS)
ls -l "$dist"
