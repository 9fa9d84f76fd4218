#!/usr/bin/env bash
# Builds every fuzz target (clang, libFuzzer with ASan and UBSan: the asan
# preset's tree) and runs each one for a while, starting from its seeds in
# fuzz/corpus/<name>/ when there are any. New inputs go to a scratch folder;
# the seeds stay as they are. Two targets run at a time, one per core.
#
#   scripts/fuzz.sh [SECONDS]     (30 seconds each)
#
# Exits non-zero when a target finds a crash; its input is kept in build/asan/fuzz/.
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/asan"

echo "=== fuzz ($(date +%T))"
(cd "$root" && cmake --preset asan >/dev/null)
ninja -C "$build" -j2 fuzz_targets

# Runs one target; its report goes to $2.
fuzz_one() {
  local name="$1" report="$2"
  local scratch seeds=()
  scratch="$(mktemp -d)"
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  if "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/$name-" "$scratch" "${seeds[@]}" > "$report.log" 2>&1; then
    { echo "== $name (${seconds} s)"; grep -E '^(stat::number_of_executed_units|Done)' "$report.log" || true; } > "$report"
  else
    { echo "== $name FAILED (input kept under $build/fuzz/)"; tail -n 40 "$report.log"; } > "$report"
    echo failed > "$report.failed"
  fi
  rm -rf "$scratch" "$report.log"
}

reports="$(mktemp -d)"
shopt -s nullglob
names=()
for source in "$root"/fuzz/*.cpp; do names+=("$(basename "$source" .cpp)"); done
for ((i = 0; i < ${#names[@]}; i += 2)); do
  fuzz_one "${names[i]}" "$reports/${names[i]}" &
  [ $((i + 1)) -lt ${#names[@]} ] && fuzz_one "${names[i + 1]}" "$reports/${names[i + 1]}" &
  wait
done

status=0
for name in "${names[@]}"; do
  cat "$reports/$name"
  [ -e "$reports/$name.failed" ] && status=1
done
rm -rf "$reports"
exit "$status"
