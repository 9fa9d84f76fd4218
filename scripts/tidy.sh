#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy over the program's own sources,
# from a configured build tree's compile commands. Fails on any finding.
#   scripts/tidy.sh [BUILD_DIR]     (build/release)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
[ -e "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json" >&2; exit 2; }
mapfile -t sources < <(git -C "$root" ls-files -- 'app/*.cpp' 'audio/*.cpp' 'control/*.cpp' 'core/*.cpp' \
  'library/*.cpp' 'net/*.cpp' 'panels/*.cpp' 'platform/*.cpp' 'ui/*.cpp' | sed "s|^|$root/|")
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! run-clang-tidy -p "$build" -j 2 -quiet "${sources[@]}" > "$log" 2>&1 || grep -q 'error:' "$log"; then
  grep -E 'error:' "$log" | sed 's/\x1b\[[0-9;]*m//g' | sort -u | head -n 60 >&2
  echo "tidy: findings in the sources above (${#sources[@]} files checked)" >&2
  exit 1
fi
echo "tidy: ${#sources[@]} files, no finding"
