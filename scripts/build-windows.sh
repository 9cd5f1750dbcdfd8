#!/usr/bin/env bash
# Cross-builds Brontal for 64-bit Windows with Debian's MinGW-w64 into
# build/windows: the bundle build/windows/VST3/brontal1.vst3 (the DLL is
# Contents/x86_64-win/brontal1.vst3) and the programs of the Windows suites.
# Name targets to build only those (e.g. brontal1 for the bundle alone).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_WINDOWS_BUILD_DIR:-$root/build/windows}"
linux="${BRONTAL_BUILD_DIR:-$root/build/release}"
(cd "$root" && cmake --preset windows -B "$build" -DBRONTAL_LINUX_BUILD_DIR="$linux" >/dev/null)
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
