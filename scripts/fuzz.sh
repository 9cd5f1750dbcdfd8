#!/usr/bin/env bash
# Runs the libFuzzer harnesses (tests/fuzz) from their committed seeds.
#
#   scripts/fuzz.sh [--short | --long | --runs N] [--build DIR] [HARNESS...]
#
# --short (the default, what CI runs): a fixed seed and a fixed number of
#   executions per harness, from a fresh corpus; about a minute and a half for all five.
# --long: 10^7 executions of each harness, one after the other, keeping the
#   corpus in DIR/corpus/HARNESS so that later runs start where this one
#   stopped. Hours; run it on a quiet machine.
# --runs N: N executions of each, corpus kept like --long.
#
# DIR is a build configured with -DBRONTAL_FUZZ=ON (default build/fuzz,
# configured and built here when missing). HARNESS is fuzz_process,
# fuzz_state, fuzz_render_options, fuzz_wav or fuzz_lv2_run (default: all five). A broken invariant
# or a sanitizer report stops the run; the input that did it is kept as
# DIR/artifacts/HARNESS-crash-* and the exit status is non-zero. Replay it
# with `DIR/tests/HARNESS FILE`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_FUZZ_DIR:-$root/build/fuzz}"
mode=short
runs=""
harnesses=()

while [ $# -gt 0 ]; do
  case "$1" in
    --short) mode=short ;;
    --long) mode=long ;;
    --runs) mode=long; runs="$2"; shift ;;
    --build) build="$2"; shift ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    fuzz_*) harnesses+=("$1") ;;
    *) echo "fuzz.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done
[ ${#harnesses[@]} -gt 0 ] || harnesses=(fuzz_process fuzz_state fuzz_render_options fuzz_wav fuzz_lv2_run)

# Executions of the short run: about 20 s each on a shared 2-core machine,
# fuzz_process about a minute (its settled comparisons run 1.2 s of sound
# through two instances).
declare -A short_runs=([fuzz_process]=4000 [fuzz_state]=150000 [fuzz_render_options]=150000 [fuzz_wav]=1000000 [fuzz_lv2_run]=3000)

if [ ! -x "$build/tests/${harnesses[0]}" ]; then
  (cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
  cmake --build "$build" -j2 --target "${harnesses[@]}"
fi

mkdir -p "$build/artifacts"
status=0
for name in "${harnesses[@]}"; do
  seeds="$root/tests/fuzz/seeds/$name"
  if [ "$mode" = short ]; then
    corpus="$build/corpus-short/$name"
    rm -rf "$corpus"
    args=(-seed=1 -runs="${short_runs[$name]}")
  else
    corpus="$build/corpus/$name"
    args=(-runs="${runs:-10000000}" -print_final_stats=1)
  fi
  mkdir -p "$corpus"
  echo "== $name ($mode)"
  # New inputs go to the first directory; the committed seeds stay as they are.
  if ! "$build/tests/$name" "${args[@]}" -artifact_prefix="$build/artifacts/$name-" "$corpus" "$seeds" \
      2>"$build/artifacts/$name.log"; then
    status=1
    grep -E "invariant broken|ERROR|runtime error|SUMMARY" "$build/artifacts/$name.log" | head -20 >&2
    echo "$name: FAILED (log: $build/artifacts/$name.log)" >&2
  fi
  grep -E "^Done [0-9]+ runs" "$build/artifacts/$name.log" || true
done
exit $status
