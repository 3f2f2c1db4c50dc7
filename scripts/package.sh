#!/usr/bin/env bash
# Installs what is missing, builds Velmor and makes its Debian package,
# velmor_VERSION_amd64.deb, in the build folder (build-package/ unless
# VELMOR_BUILD_DIR says otherwise). Prints the package's path.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMOR_BUILD_DIR:-$root/build-package}"

"$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)" --target velmor_package_files
cd "$build"
cpack -G DEB -B "$build" > "$build/cpack.log" || { cat "$build/cpack.log" >&2; exit 1; }
rm -rf "$build/_CPack_Packages"
ls "$build"/velmor_*_amd64.deb
