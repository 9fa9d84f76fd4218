#!/usr/bin/env bash
# Fails on any source that is not in the house format (.clang-format, as
# clang-format 14 writes it), naming each file and its first differences.
#   scripts/check-format.sh            every C and C++ source git knows of
#   scripts/check-format.sh FILES...   those files
# `clang-format -i FILE` puts a file right.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git -C "$root" ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | sed "s|^|$root/|")
fi
[ ${#files[@]} -gt 0 ] || { echo "check-format: no sources to check" >&2; exit 2; }

report="$(mktemp)"
trap 'rm -f "$report"' EXIT
status=0
printf '%s\0' "${files[@]}" |
  xargs -0 -n 64 -P 2 clang-format --style="file:$root/.clang-format" --dry-run -Werror --ferror-limit=1 \
  2> "$report" || status=$?
if [ "$status" -ne 0 ]; then
  bad="$(grep -cE '^[^ ]+:[0-9]+:[0-9]+: error' "$report" || true)"
  grep -vE '^ |^$' "$report" | head -n 40 >&2
  echo "check-format: $bad of ${#files[@]} files are not formatted (clang-format -i puts them right)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
