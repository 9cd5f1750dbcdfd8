#!/usr/bin/env bash
# Installs what is needed, builds everything for Linux and Windows and runs
# every test (the Windows suites under Wine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_BUILD_DIR:-$root/build/release}"
windows="${BRONTAL_WINDOWS_BUILD_DIR:-$root/build/windows}"

"$root/scripts/install-deps.sh"
BRONTAL_BUILD_DIR="$build" "$root/scripts/build.sh"
(cd "$build" && ctest --output-on-failure -j2)

# The Windows module and its suites; they compare with the Linux build's renders.
BRONTAL_BUILD_DIR="$build" BRONTAL_WINDOWS_BUILD_DIR="$windows" "$root/scripts/build-windows.sh"
(cd "$windows" && ctest --output-on-failure -j2)

# The signal chain, the bundle and the render tool once more under the
# address and undefined-behaviour sanitizers, built with clang so that the
# same build runs the fuzz harnesses from their seeds (a fixed-seed run each).
sanitize="${BRONTAL_FUZZ_DIR:-$root/build/fuzz}"
(cd "$root" && cmake --preset fuzz -B "$sanitize" >/dev/null)
cmake --build "$sanitize" -j"$(nproc)" --target dsp_tests bundle_tests render_tests \
  fuzz_process fuzz_state fuzz_render_options
(cd "$sanitize" && ctest --output-on-failure -j2 -R '^(dsp|bundle|render)_tests$|^fuzz_')

# The audio thread and the host's user-interface thread at once (editor,
# parameters, state), under ThreadSanitizer.
tsan="${BRONTAL_TSAN_DIR:-$root/build/tsan}"
(cd "$root" && cmake --preset tsan -B "$tsan" >/dev/null)
cmake --build "$tsan" -j"$(nproc)" --target editor_thread_tests
(cd "$tsan" && ctest --output-on-failure -R '^editor_thread_tests$')
