#!/usr/bin/env bash
# What key lock costs while eight tracks play, beside the plain resampler:
# the share of one core at tempo ratios 1.0 and 1.3, and the allocations
# made while mixing (none allowed). Fails when key lock at 1.3 takes more
# than 15 % of one core or allocates.
#
# Usage: bench/keylock_cost.sh [BUILD_DIR]   (default build/bench, made with
#   cmake --preset bench && cmake --build build/bench --target bench_keylock)
set -euo pipefail

build=${1:-build/bench}
exe="$build/bench/bench_keylock"
[ -x "$exe" ] || { echo "no $exe (build the target bench_keylock first)" >&2; exit 1; }

report=$("$exe" --benchmark_min_time=2 --benchmark_format=csv 2> /dev/null)
echo "$report" | awk -F, '
  /^"(Resampler|KeyLock)\// {
    name = $1; gsub(/"/, "", name)
    for (i = 1; i <= NF; ++i) if (head[i] == "core_%") core = $i; else if (head[i] == "allocs") allocs = $i
    printf "%-28s %6.2f %% of one core   %d allocations\n", name, core, allocs
    if (name == "KeyLock/ratio_1_3") { worst = core; kept = allocs }
    if (name ~ /^KeyLock/ && allocs > 0) bad = 1
    next
  }
  /^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); head[i] = h } }
  END {
    if (worst == "") { print "key lock at 1.3 was not measured"; exit 1 }
    if (worst > 15 || bad) { printf "key lock at 1.3: %.2f %% (at most 15 %%), allocations %d: too much\n", worst, kept; exit 1 }
    printf "key lock at 1.3: %.2f %% of one core, within 15 %%\n", worst
  }'
