#!/usr/bin/env bash
# Cross-builds the engine, its tests and velmor-db for 64-bit Windows with
# MinGW-w64, then runs them under Wine: the engine's tests that need neither
# Qt nor mdbtools (CTest, through Wine) and velmor-db on a database whose
# name has accents. Exits non-zero on any failure; 77 (skipped) when the
# cross compiler or Wine is missing (scripts/install-packages.sh installs them).
#   scripts/windows-tests.sh [BUILD_DIR]     (default: build-windows/)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-windows}"
for tool in x86_64-w64-mingw32-g++-posix wine; do
    if ! command -v "$tool" > /dev/null; then
        echo "$tool absent : construction Windows ignorée (scripts/install-packages.sh l'installe)"
        exit 77
    fi
done

launcher=()
if command -v ccache > /dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVELMOR_GUI=OFF "${launcher[@]}" > "$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
rm -f "$build.configure.log"
cmake --build "$build" --parallel "$(nproc)" > "$build/build.log" 2>&1 || { tail -50 "$build/build.log"; exit 1; }

# A Wine prefix of its own, made once, quiet.
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init > /dev/null 2>&1 || true
fi

status=0
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)") || status=1

# velmor-db.exe: version, and a demonstration database under a name with accents.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
db="$build/tools/velmor-db.exe"
fail() {
    echo "ÉCHEC : $*"
    status=1
}
# Compared byte for byte: a CR before the LF would be text mode at work.
[ "$(wine "$db" --version)" = "velmor-db $(sed -n 's/^project(Velmor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")" ] ||
    fail "velmor-db.exe --version"
base="$tmp/démo prêts.mdb"
wine "$db" demo "$base" > /dev/null || fail "velmor-db.exe demo"
[ -f "$base" ] || fail "velmor-db.exe demo n'a pas écrit « $base » : $(ls "$tmp")"
wine "$db" check "$base" > "$tmp/check" || fail "velmor-db.exe check : $(cat "$tmp/check")"
rows=$(wine "$db" count "$base" tablep)
[ "${rows:-0}" -gt 0 ] || fail "velmor-db.exe count : $rows"
[ $status -eq 0 ] && echo "Windows (Wine) : tout va bien"
exit $status
