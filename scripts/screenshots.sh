#!/usr/bin/env bash
# Renders the login window, the main window right after login and the
# options window into docs/
# (an off-screen 1024x768 screen, a throwaway settings folder).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELMOR_BUILD_DIR:-$root/build}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)" --target velmor_screenshots
settings="$(mktemp -d)"
trap 'rm -rf "$settings"' EXIT
# French regional settings, as on the desk the application was made for.
LANG=fr_FR.UTF-8 LC_ALL=fr_FR.UTF-8 LANGUAGE=fr XDG_CONFIG_HOME="$settings" \
QT_QPA_PLATFORM="offscreen:configfile=$root/scripts/offscreen-screen.json" \
    "$build/app/velmor_screenshots" "$root/docs"
