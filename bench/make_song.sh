#!/usr/bin/env bash
# How long a song of 100 of the user's loops takes to make: loops of 1, 2 and
# 4 bars at 90, 120 and 140 BPM (a third of them at the song's tempo, so
# copied; the others stretched), mono and stereo, 16-bit WAV and FLAC, half
# with the tempo in the name. Prints the time and fails past 20 s.
#
#   bench/make_song.sh [BUILD_DIR]      (build/release)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
for tool in sox /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "make_song: needs $tool" >&2; exit 1; }
done
[ -x "$build/beatloom" ] || { echo "make_song: no beatloom in $build (build it first)" >&2; exit 1; }

work="$(mktemp -d /tmp/beatloom-makesong-XXXXXX)"
trap 'rm -rf "$work"' EXIT
[ -n "${KEEP:-}" ] && trap - EXIT
mkdir -p "$work/prog/Library/Song" "$work/loops"
ln -s "$build/beatloom" "$work/prog/beatloom"

tempos=(90 120 140)
groups=(kick snare hats bass pad keys lead fx)
for i in $(seq 0 99); do
  bpm=${tempos[$((i % 3))]}
  bars=$((1 << (i % 3)))
  seconds=$(awk -v b="$bpm" -v n="$bars" 'BEGIN { printf "%.6f", 240 * n / b }')
  group=${groups[$((i % 8))]}
  name="$group take$i"
  [ $((i % 2)) -eq 0 ] && name="$name ${bpm}bpm"
  ext=wav; [ $((i % 5)) -eq 0 ] && ext=flac
  channels=$((1 + i % 2))
  sox -n -r 44100 -b 16 -c "$channels" "$work/loops/$name.$ext" \
    synth "$seconds" pluck $((110 + 10 * (i % 12))) synth pinknoise mix vol 0.4 2> /dev/null
done

start=$(date +%s.%N)
/usr/bin/time -f "%M KB peak" "$work/prog/beatloom" --make-song "$work/loops" --tempo 120 --yes > "$work/out.txt" 2> "$work/err.txt" || true
end=$(date +%s.%N)
made=$(grep -c "" "$work/out.txt" || true)
seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
echo "100 loops: ${seconds} s, $(tail -1 "$work/err.txt"), $(ls "$work/prog/Library/Song/"*/ 2>/dev/null | grep -c '\.wav$') files written"
awk -v s="$seconds" 'BEGIN { if (s > 20) { print "over 20 s"; exit 1 } print "within 20 s" }'
