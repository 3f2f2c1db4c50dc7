#!/usr/bin/env bash
# Installs what is missing, builds Velmor and starts it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMOR_BUILD_DIR:-$root/build}"

"$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)" --target velmor
exec "$build/app/velmor"
