#!/usr/bin/env bash
# How soon a mute, a volume and a pan are heard while a groove plays: the
# median of 10 headless runs each on SDL's disk driver (bench_latency.cpp
# says how); fails past 30 ms.
#
# Usage: bench/latency.sh [PROGRAM_DIR]   (default build/release; the bench
#   itself is built in build/bench, as cmake --preset bench makes it)
set -euo pipefail
cd "$(dirname "$0")/.."

program=$(cd "${1:-build/release}" && pwd)
[ -x "$program/beatloom" ] || { echo "no beatloom in $program (build it first)" >&2; exit 1; }
cmake --preset bench > /dev/null
cmake --build build/bench --target bench_latency > /dev/null
exec build/bench/bench/bench_latency "$program"
