#!/usr/bin/env bash
# Configures and builds everything (plug-in bundle, render tool, tests,
# benchmarks) into build/release.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_BUILD_DIR:-$root/build/release}"
(cd "$root" && cmake --preset release -B "$build" >/dev/null)
cmake --build "$build" -j"$(nproc)"
