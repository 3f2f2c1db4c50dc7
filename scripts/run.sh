#!/usr/bin/env bash
# Installs what is missing, builds Velmor and starts it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMOR_BUILD_DIR:-$root/build}"

"$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)" --target velmor velmor-db

# First run: an empty database at the default place, so that the sheets open
# on empty tables instead of an error.
database="$HOME/velmor/velmor2001.mdb"
if [ ! -e "$database" ]; then
    "$build/tools/velmor-db" init "$database"
fi
exec "$build/app/velmor"
