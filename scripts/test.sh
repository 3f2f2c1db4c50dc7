#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# Exits non-zero when anything fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMOR_BUILD_DIR:-$root/build-test}"

"$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)"
