#!/bin/sh
# Builds (if needed) and runs the Jet fuzzer for a short while, seeded with
# the small fixtures (files of each format, Access 97 included) and with the
# write scripts of fuzz/seeds. The fuzzer lives in its own clang build (FUZZ_BUILD_DIR,
# configured with VELMOR_FUZZ=ON). With VELMOR_DB (a velmor-db program), the
# write scripts may also start from a new database it makes with
# `init --format 97`. Exit 77 (skipped) when clang++ or the fixtures are
# missing.
# Usage: run_fuzzer.sh SOURCE_DIR FUZZ_BUILD_DIR FIXTURES_DIR [SECONDS]
source="$1"
build="$2"
fixtures="$3"
seconds="${4:-25}"
clang=$(command -v clang++-14 || command -v clang++)
clangc=$(command -v clang-14 || command -v clang)
if [ -z "$clang" ]; then
    echo "clang++ absent : fuzzing ignoré"
    exit 77
fi
if [ ! -d "$fixtures" ]; then
    echo "dossier des fixtures absent ($fixtures) : fuzzing ignoré"
    exit 77
fi
mkdir -p "$build" && build=$(cd "$build" && pwd) || exit 1
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$source" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_C_COMPILER="$clangc" \
        -DVELMOR_GUI=OFF -DVELMOR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVELMOR_FIXTURES_DIR="$fixtures" > /dev/null || exit 1
fi
cmake --build "$build" -j2 --target velmor_jet_fuzzer || exit 1
fuzzer="$build/jet/velmor_jet_fuzzer"
seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
mkdir -p "$seeds" "$corpus"
for f in velmor2001.mdb velmor2001-empty.mdb velmor2001.accdb access-made/DateTestDatabase.mdb \
    access-corpus/calcFieldTestV2010.accdb access-corpus/V2000_with-password.mdb \
    access-corpus/unsupportedFieldsTestV2007.accdb access-corpus/indexTestV1997.mdb; do
    [ -f "$fixtures/$f" ] && cp "$fixtures/$f" "$seeds/$(basename "$f")"
done
cp "$source"/fuzz/seeds/* "$seeds/" || exit 1
if [ -n "$VELMOR_DB" ]; then
    start="$build/fuzz-start-97.mdb"
    rm -f "$start" "$start-journal"
    "$VELMOR_DB" init "$start" --format 97 > /dev/null || exit 1
    export VELMOR_FUZZ_JET3_START="$start"
fi
cd "$build" || exit 1
# A crash or a hang fails the test (libFuzzer's own exit code, 77, would
# read as "skipped").
exec "$fuzzer" -max_total_time="$seconds" -max_len=400000 -timeout=10 -rss_limit_mb=2048 \
    -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 "$corpus" "$seeds"
