#!/usr/bin/env bash
# Builds and runs every test suite, stage by stage, and says how long each took.
#   scripts/test.sh          everything, as CI runs it
#   scripts/test.sh quick    the Release suite only
#   scripts/test.sh format|tidy|release|package|asan|fuzz|tsan|debug   one stage
# FUZZ_SECONDS sets how long each fuzz target runs (default 5).
#
# Release builds everything and runs every test. The sanitizer trees build the
# program's code and the tests they run, and take the skin, demo library and
# tools of the Release tree: they run the unit suites and the tests labelled
# threads (end to end or not), not those labelled slow or realtime (see
# tests/Labels.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-all}"

werror=OFF
[ -n "${CI:-}" ] && werror=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp:${TSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:${LSAN_OPTIONS:-}"
sanitized=(-L '^(unit|threads)$' -LE '^(slow|realtime)$')

times=()
stage() {
  local name="$1" start=$SECONDS
  shift
  echo "=== $name ($(date +%T))"
  "$@"
  local took=$((SECONDS - start))
  times+=("$(printf '%-8s %3d:%02d' "$name" $((took / 60)) $((took % 60)))")
  echo "=== $name took $((took / 60)) min $((took % 60)) s"
}

build() {
  cmake --preset "$1" -DBEATLOOM_WERROR="$werror" > /dev/null
  cmake --build "build/$1" -j2 ${2:+--target "$2"}
}

# Most tests wait on the program playing in real time, so more run at a time
# than there are cores; fewer under the sanitizers, whose programs need the
# processor more and must still keep time.
release() {
  build release
  ctest --test-dir build/release --output-on-failure -j4 --timeout 600
}
sanitizer() {
  local preset="$1" jobs="$2"
  # The sanitizer trees take the Release tree's skin, library and tools.
  [ -e build/release/Library ] || build release
  build "$preset"
  ctest --test-dir "build/$preset" --output-on-failure -j"$jobs" --timeout 600 "${sanitized[@]}"
}
# The Debian package of the Release tree, made and checked as a user meets it
# (it is installed on this machine, run as nobody and removed again).
package() {
  local deb
  deb="$(scripts/package.sh build/release | tail -n 1)"
  scripts/package-check.sh "$deb"
  rm -f "$deb"
}
tidy() {
  [ -e build/release/compile_commands.json ] || cmake --preset release > /dev/null
  scripts/tidy.sh build/release
}

stage deps scripts/install-deps.sh
case "$mode" in
  format) stage format scripts/check-format.sh ;;
  tidy) stage tidy tidy ;;
  package) stage package package ;;
  quick | release) stage release release ;;
  debug) stage debug bash -c "cmake --preset debug > /dev/null && cmake --build build/debug -j2 && ctest --test-dir build/debug -j4 --output-on-failure" ;;
  asan) stage asan sanitizer asan 3 ;;
  tsan) stage tsan sanitizer tsan 2 ;;
  fuzz) stage fuzz scripts/fuzz.sh "${FUZZ_SECONDS:-5}" ;;
  all)
    stage format scripts/check-format.sh
    stage release release
    stage package package
    stage tidy tidy
    stage asan sanitizer asan 3
    stage fuzz scripts/fuzz.sh "${FUZZ_SECONDS:-5}"
    stage tsan sanitizer tsan 2
    ;;
  *) echo "usage: scripts/test.sh [all|quick|format|tidy|release|package|asan|fuzz|tsan|debug]" >&2; exit 2 ;;
esac
echo "--- stage times (min:s)"
printf '%s\n' "${times[@]}"
echo "All tests passed ($mode, $(date +%T))."
