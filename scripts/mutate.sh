#!/usr/bin/env bash
# The mutation check: applies each deliberate one-line fault of a list to a
# scratch copy of the tree, builds what the fault's suites need, runs those
# suites and reports every fault that no test caught. Not part of CI; run it
# after changing a block, the processor or their tests (docs/testing.md).
#
#   scripts/mutate.sh [--list FILE] [--check] [PATTERN]
#
# FILE defaults to tests/mutants.txt; PATTERN (an extended regular
# expression) picks mutants by name; --check only reports mutants whose
# original text is missing or not unique, without building anything. The scratch copy and its build live in
# build/mutate (BRONTAL_MUTATE_DIR) and are reused, so a second run only
# rebuilds what changed. Exit status 0 only when every mutant is caught.
set -uo pipefail
shopt -u patsub_replacement 2>/dev/null || true
root="$(cd "$(dirname "$0")/.." && pwd)"
list="$root/tests/mutants.txt"
pattern=""
check_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --list) list="$2"; shift 2 ;;
    --check) check_only=1; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) pattern="$1"; shift ;;
  esac
done

work="${BRONTAL_MUTATE_DIR:-$root/build/mutate}"
src="$work/src"
build="$work/build"
logs="$work/logs"
mkdir -p "$src" "$build" "$logs"

# What each suite name in the list builds and runs.
declare -A suite_targets=(
  [dsp]="dsp_tests"
  [bundle]="bundle_tests"
  [golden]="golden_tests"
  [alias]="alias_tests"
  [noalloc]="noalloc_tests"
  [presets]="preset_tests"
  [render]="render_tests"
  [live]="live_tests live_window_tests"
  [editor]="editor_tests editor_widget_tests"
  [lv2]="lv2_tests lv2_ui_tests"
)

# --- the list: blocks of "name:", "file:", "suites:", "old:", "new:" lines;
# in old and new texts \n, \t and \\ stand for a line break, a tab and a
# backslash.
names=() files=() suites=() olds=() news=()
add_mutant() {
  if [ -z "$m_name" ]; then return; fi
  if [ -z "$m_file" ] || [ -z "$m_suites" ] || [ -z "$m_old" ] || [ -z "$m_new" ]; then
    echo "mutant '$m_name' in $list lacks a file, suites, old or new line" >&2
    exit 2
  fi
  if [ -z "$pattern" ] || [[ "$m_name" =~ $pattern ]]; then
    names+=("$m_name") files+=("$m_file") suites+=("$m_suites") olds+=("$m_old") news+=("$m_new")
  fi
}
m_name="" m_file="" m_suites="" m_old="" m_new=""
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    name:\ *) add_mutant; m_name="${line#name: }" m_file="" m_suites="" m_old="" m_new="" ;;
    file:\ *) m_file="${line#file: }" ;;
    suites:\ *) m_suites="${line#suites: }" ;;
    old:\ *) printf -v m_old '%b' "${line#old: }" ;;
    new:\ *) printf -v m_new '%b' "${line#new: }" ;;
    ''|\#*) ;;
    *) echo "$list: cannot read: $line" >&2; exit 2 ;;
  esac
done < "$list"
add_mutant
if [ ${#names[@]} -eq 0 ]; then
  echo "no mutants selected" >&2
  exit 2
fi

read_file() { # keeps trailing newlines
  local content
  content="$(cat "$1"; printf x)"
  printf '%s' "${content%x}"
}

# Where mutant i stands in a tree: ok, stale (file or text missing) or
# ambiguous (text found more than once).
locate() { # tree, index
  local file="$1/${files[$2]}" content rest
  if [ ! -f "$file" ]; then
    echo "stale: no file ${files[$2]}"
    return
  fi
  content="$(read_file "$file")"
  rest="${content#*"${olds[$2]}"}"
  if [ "$rest" = "$content" ]; then
    echo "stale: original text not found in ${files[$2]}"
  elif [ "${rest#*"${olds[$2]}"}" != "$rest" ]; then
    echo "ambiguous: original text found more than once in ${files[$2]}"
  else
    echo ok
  fi
}

if [ "$check_only" -eq 1 ]; then
  bad=0
  for i in "${!names[@]}"; do
    where=$(locate "$root" "$i")
    if [ "$where" != ok ]; then
      echo "${names[$i]}: $where"
      bad=$((bad + 1))
    fi
  done
  echo "${#names[@]} mutants, $bad to refresh"
  [ "$bad" -eq 0 ]
  exit
fi

# --- the scratch copy: every file git knows or would add, copied only when
# it differs, so the build stays incremental from run to run.
(cd "$root" && git ls-files -co --exclude-standard) | sort > "$work/files"
while IFS= read -r f; do
  if ! cmp -s "$root/$f" "$src/$f"; then
    mkdir -p "$(dirname "$src/$f")"
    cp "$root/$f" "$src/$f"
  fi
done < "$work/files"
(cd "$src" && find . -type f | sed 's|^\./||' | sort) | comm -13 "$work/files" - | while IFS= read -r f; do
  rm -f "$src/$f"
done

if ! cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRONTAL_BUILD_BENCH=OFF > "$logs/configure.log" 2>&1; then
  echo "configuring the scratch copy failed: $logs/configure.log" >&2
  exit 2
fi

targets_of() {
  local s t=""
  for s in $1; do
    if [ -z "${suite_targets[$s]+set}" ]; then
      echo "unknown suite '$s'" >&2
      exit 2
    fi
    t="$t ${suite_targets[$s]}"
  done
  echo "$t"
}

build_targets() { # log, targets...
  local log="$1"
  shift
  cmake --build "$build" -j2 --target "$@" > "$log" 2>&1
}

# Runs the suites' binaries in order; prints the first that fails.
first_failing_suite() { # log, suites
  local log="$1" s t
  : > "$log"
  for s in $2; do
    for t in ${suite_targets[$s]}; do
      if ! timeout 600 "$build/tests/$t" --gtest_brief=1 --gtest_fail_fast >> "$log" 2>&1; then
        echo "$s"
        return
      fi
    done
  done
}

# --- the unmutated tree must build and pass what the selected mutants use.
all_suites=$(printf '%s\n' "${suites[@]}" | tr ' ' '\n' | sort -u | tr '\n' ' ')
echo "Building the scratch copy and running the suites ($all_suites) unmutated..."
# shellcheck disable=SC2046
if ! build_targets "$logs/baseline-build.log" $(targets_of "$all_suites"); then
  echo "the unmutated tree does not build: $logs/baseline-build.log" >&2
  exit 2
fi
failing=$(first_failing_suite "$logs/baseline-tests.log" "$all_suites")
if [ -n "$failing" ]; then
  echo "the unmutated tree fails its $failing suite: $logs/baseline-tests.log" >&2
  exit 2
fi

caught=0
problems=()
total=${#names[@]}
for i in "${!names[@]}"; do
  name="${names[$i]}" file="$src/${files[$i]}" old="${olds[$i]}" new="${news[$i]}"
  label="[$((i + 1))/$total] $name"
  log="$logs/mutant-$((i + 1))"
  where=$(locate "$src" "$i")
  if [ "$where" != ok ]; then
    state="${where%%:*}"
    echo "$label: ${state^^} (${where#*: })"
    problems+=("${where%%:*}: $name")
    continue
  fi
  original="$(read_file "$file")"
  printf '%s' "${original/"$old"/"$new"}" > "$file"
  # shellcheck disable=SC2046
  if ! build_targets "$log-build.log" $(targets_of "${suites[$i]}"); then
    echo "$label: DOES NOT BUILD ($log-build.log)"
    problems+=("does not build: $name")
  else
    failing=$(first_failing_suite "$log-tests.log" "${suites[$i]}")
    if [ -n "$failing" ]; then
      echo "$label: caught by $failing"
      caught=$((caught + 1))
    else
      echo "$label: SURVIVED (${suites[$i]})"
      problems+=("survived: $name")
    fi
  fi
  # The original back, newer than the mutant's objects, so it is rebuilt.
  printf '%s' "$original" > "$file"
  touch "$file"
done

echo
for p in "${problems[@]}"; do
  echo "  $p"
done
echo "caught $caught of $total"
[ "$caught" -eq "$total" ]
