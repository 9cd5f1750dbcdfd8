#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_BUILD_DIR:-$root/build/release}"

"$root/scripts/install-deps.sh"
BRONTAL_BUILD_DIR="$build" "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j2
