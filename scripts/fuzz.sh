#!/usr/bin/env bash
# Builds every fuzz target (clang, libFuzzer with ASan and UBSan: the asan
# preset's tree) and runs each one for a while, starting from its seeds in
# fuzz/corpus/<name>/ when there are any. New inputs go to a scratch folder;
# the seeds stay as they are.
#
#   scripts/fuzz.sh [SECONDS]     (30 seconds)
#
# Exits non-zero when a target finds a crash; its input is kept in BUILD_DIR/fuzz/.
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/asan"

(cd "$root" && cmake --preset asan >/dev/null)
ninja -C "$build" -j2 fuzz_targets

status=0
shopt -s nullglob
for source in "$root"/fuzz/*.cpp; do
  name="$(basename "$source" .cpp)"
  target="$build/fuzz/$name"
  scratch="$(mktemp -d)"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  echo "== $name (${seconds} s)"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/$name-" "$scratch" "${seeds[@]}" 2>"$scratch.log"; then
    status=1
    tail -n 40 "$scratch.log"
    echo "== $name FAILED (input kept under $build/fuzz/)"
  else
    grep -E '^(stat::number_of_executed_units|Done)' "$scratch.log" || true
  fi
  rm -rf "$scratch" "$scratch.log"
done
exit "$status"
