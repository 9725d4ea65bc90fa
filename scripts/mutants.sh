#!/usr/bin/env bash
# Measures how many faults the tests catch: applies each mutant of a fixed sample to the
# product code (one at a time), rebuilds build/ incrementally, runs the tests of the mutated
# file's area, and counts the mutant killed (a test failed), survived (all passed) or not
# compiling. A mutant whose original text is no longer in its file is "gone" and not counted.
#
#   scripts/mutants.sh [--area PREFIX] [--list FILE] [--build DIR] [--tests PATTERN [--targets 'T...']]
#     --area   only mutants of files under PREFIX: runtime, command, kernel, runtime/string, ...
#     --list   the sample (default scripts/mutants.list; made by scripts/mutants.py generate)
#     --build  a build directory configured by scripts/build.sh (default build)
#     --tests  judge every mutant by the ctest names matching PATTERN instead of its area's
#     --targets  rebuild only these targets (those PATTERN's tests need) instead of everything
# Every mutated file is restored after its mutant, also when the run is interrupted; a run
# killed outright restores it on the next start.
set -uo pipefail
cd "$(dirname "$0")/.."

list=scripts/mutants.list
area=""
build=build
tests=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --area) area="${2%/}"; shift 2 ;;
    --list) list="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --tests) tests="$2"; shift 2 ;;
    --targets) read -r -a targets <<<"$2"; shift 2 ;;
    *) echo "usage: scripts/mutants.sh [--area PREFIX] [--list FILE] [--build DIR] [--tests PATTERN [--targets 'T...']]" >&2
       exit 2 ;;
  esac
done
[ -f "$list" ] || { echo "mutants: no list $list" >&2; exit 2; }
[ -f "$build/CMakeCache.txt" ] || { echo "mutants: $build is not configured (scripts/build.sh)" >&2; exit 2; }

# The tests that judge a file: its own level and every level above that runs it.
selection() {
  [ -z "$tests" ] || { echo "$tests"; return; }
  case "$1" in
    abi/*) echo '^(runner|guest|e2e)\.' ;;
    runtime/*) echo '^(guest|e2e\.(services|mendir|metadata))\.' ;;
    command/*) echo '^e2e\.(mendir|metadata|volume)\.' ;;
    kernel/fat32/*) echo '^(fat32|e2e\.(mendir|volume))\.' ;;
    kernel/debug/*) echo '^(debug|fuzz\.(gdb_stub|elf_program)|runner|guest|e2e)\.' ;;
    kernel/disk/*) echo '^(disk|fuzz\.disk|runner|guest|e2e)\.' ;;
    kernel/*) echo '^(vfs|pipes|runner|guest|e2e)\.' ;;
  esac
}

saved="$build/mutants-saved"  # the original of the file under mutation, and its path
restore() {
  if [ -f "$saved.path" ]; then
    cp "$saved" "$(cat "$saved.path")" && rm -f "$saved" "$saved.path"
  fi
}
trap restore EXIT
trap 'exit 130' INT TERM HUP
restore

build_quietly() {
  cmake --build "$build" -j2 ${targets[@]+--target "${targets[@]}"} </dev/null >"$build/mutants-build.log" 2>&1
}
run_tests() {  # PATTERN; a hanging test counts as failing
  timeout -k 10 600 ctest --test-dir "$build" -R "$1" -j2 --stop-on-failure \
    </dev/null >"$build/mutants-test.log" 2>&1
}

build_quietly || { echo "mutants: the unmutated code does not build" >&2; exit 2; }
killed=0 survived=0 broken=0 gone=0
survivors=()
while IFS=$'\t' read -r -u 3 id kind file occurrence snippet replacement; do
  case "$id" in ''|'#'*) continue ;; esac
  case "$file" in "$area"/*|"$area") ;; *) [ -n "$area" ] && continue ;; esac
  if [ ! -f "$file" ]; then
    gone=$((gone + 1)); echo "$id gone      $file"; continue
  fi
  cp "$file" "$saved" && echo "$file" >"$saved.path"
  python3 scripts/mutants.py apply "$file" "$occurrence" "$snippet" "$replacement" </dev/null
  case $? in
    0) ;;
    3) restore; gone=$((gone + 1)); echo "$id gone      $file: $snippet"; continue ;;
    *) echo "mutants: cannot apply $id" >&2; exit 2 ;;
  esac
  if ! build_quietly; then
    verdict="no-compile"; broken=$((broken + 1))
  elif run_tests "$(selection "$file")"; then
    verdict="SURVIVED"; survived=$((survived + 1))
    survivors+=("$id $kind $file: $snippet  =>  $replacement")
  else
    verdict="killed"; killed=$((killed + 1))
  fi
  restore
  printf '%s %-10s %s: %s  =>  %s\n' "$id" "$verdict" "$file" "$snippet" "$replacement"
done 3<"$list"

build_quietly || echo "mutants: the restored code did not rebuild; see $build/mutants-build.log" >&2
if [ ${#survivors[@]} -gt 0 ]; then
  echo "surviving mutants:"
  printf '  %s\n' "${survivors[@]}"
fi
total=$((killed + survived))
echo "mutants: $killed killed, $survived survived, $broken not compiling, $gone gone" \
     "(score $( [ $total -gt 0 ] && echo "$((100 * killed / total))%" || echo n/a))"
