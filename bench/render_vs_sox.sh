#!/usr/bin/env bash
# The disk mix's speed, side by side with sox doing the same job:
#
#   classic: beatloom --render --quality classic of a 100-entry sequence of an
#            8-track groove, against sox -m mixing the same eight loops for
#            the same duration;
#   high:    --quality high (band-limited resampling to the mix tempo),
#            against the same sox mix with its speed effect doing the tempo.
#
# Each command runs twice; the quicker run counts. Prints both times, the
# ratio and the render's peak memory. The files go to /dev/shm when it is
# there, so the disk does not decide.
#
#   bench/render_vs_sox.sh [BUILD_DIR]      (build/release)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build/release}" && pwd)"
for tool in sox python3 /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "render_vs_sox: needs $tool" >&2; exit 1; }
done
[ -x "$build/beatloom" ] || { echo "render_vs_sox: no beatloom in $build (build it first)" >&2; exit 1; }

base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/beatloom-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# A program folder of the benchmark's own: its preferences stay out of the build's.
prog="$work/prog"
mkdir -p "$prog"
for f in beatloom Beatloom.xrs Helps.txt Library; do ln -s "$build/$f" "$prog/$f"; done

# The demo song with the most instrument groups; its loops, one per track.
song="" ; best=0
for folder in "$build"/Library/Song/*/; do
  name="$(basename "$folder")"
  groups="$("$prog/beatloom" --song-info "$folder" | awk -F'\t' '$1 == "groups" {print $2}')"
  if [ "${groups:-0}" -gt "$best" ]; then best="$groups"; song="$name"; fi
done
info="$("$prog/beatloom" --song-info "$build/Library/Song/$song")"
song_bpm="$(awk -F'\t' '$1 == "bpm" {print int($2)}' <<< "$info")"
tempo=$((song_bpm + 7))

# The document: one groove of 8 tracks (group t mod the groups, its first
# loop, the second when a group comes round again), 100 sequence entries,
# the tempo a little above the song's.
python3 - "$work/bench.bld" "$song" "$tempo" "$best" > "$work/tracks" <<'PY'
import struct, sys
path, song, tempo, groups = sys.argv[1], sys.argv[2], float(sys.argv[3]), int(sys.argv[4])
def groove(ident, tracks):
    b = b''
    for t in range(16):
        if t < len(tracks):
            g, slot = tracks[t]
            b += struct.pack('<Hhhh', 100, 0, g, slot)
        else:
            b += struct.pack('<Hhhh', 0, 0, -1, -1)
    return b + struct.pack('<H', ident)
tracks = [(t % groups, t // groups) for t in range(8)]
ice = bytearray(8732)
ice[0] = 1
name = song.encode()[:64]
ice[1:1 + len(name)] = name
g = groove(1, tracks)
ice[66:66 + 130] = g
struct.pack_into('<h', ice, 8386, 1)
for i in range(100):
    struct.pack_into('<H', ice, 8388 + 2 * i, 1)
struct.pack_into('<hh', ice, 8588, 100, 0)
ice[8592:8592 + 130] = g
struct.pack_into('<hf', ice, 8722, 0, tempo)
atoms = struct.pack('<I', 0x41467367)
atoms += b'vers' [::-1] + struct.pack('<ii', 4, 1)
atoms += b'iced'[::-1] + struct.pack('<i', len(ice)) + bytes(ice)
open(path, 'wb').write(atoms)
for g, slot in tracks:
    print(g, slot)
PY
loops=()
while read -r g slot; do
  file="$(awk -F'\t' -v g="$g" -v s="$slot" '$1 == "slot" && $2 == g && $3 == s {print $5}' <<< "$info")"
  [[ "$file" == *.wav ]] || file="$file.wav"
  loops+=("$build/Library/Song/$song/$file")
done < "$work/tracks"

# The same duration: 100 grooves of 32 beats at the mix tempo; for the speed
# effect the loops run at the song's tempo and are sped up to it.
# (A beat at the mix tempo is 2646000 / tempo whole frames.)
seconds="$(python3 -c "print(100 * 32 * (2646000 // $tempo) / 44100)")"
song_seconds="$(python3 -c "print(100 * 32 * (2646000 // $song_bpm) / 44100)")"
speed="$(python3 -c "print(f'{$tempo / $song_bpm:.6f}')")"

sox_inputs() {  # the loops repeated for $1 seconds each
  local length="$1" inputs=() loop n
  for loop in "${loops[@]}"; do
    n="$(python3 -c "import math,subprocess; d=float(subprocess.check_output(['soxi','-D','$loop'])); print(max(0, math.ceil($length / d) - 1))")"
    inputs+=("|sox $loop -p repeat $n")
  done
  printf '%s\n' "${inputs[@]}"
}
mapfile -t plain < <(sox_inputs "$seconds")
mapfile -t slow < <(sox_inputs "$song_seconds")

# Runs a command twice; prints, for the run with the lesser processor time,
# its wall-clock seconds, its processor seconds (user and system, children
# included: sox's input pipes) and its peak memory (KB).
timed() {
  local best_w="" best_c="" best_m=""
  for _ in 1 2; do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2> "$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r w u s m < "$work/time"
    c="$(python3 -c "print(round($u + $s, 2))")"
    if [ -z "$best_c" ] || python3 -c "import sys; sys.exit(0 if $c < $best_c else 1)"; then
      best_w="$w"; best_c="$c"; best_m="$m"
    fi
  done
  echo "$best_w $best_c $best_m"
}

echo "Song $song ($song_bpm BPM, $best groups); 100 entries of an 8-track groove at $tempo BPM: $seconds s of stereo sound"
read -r classic_w classic_c classic_m < <(timed "$prog/beatloom" --render "$work/bench.bld" -o "$work/classic.wav" --format wav --quality classic)
read -r sox_w sox_c _ < <(timed sox -m "${plain[@]}" -b 16 "$work/sox.wav" trim 0 "$seconds")
read -r high_w high_c high_m < <(timed "$prog/beatloom" --render "$work/bench.bld" -o "$work/high.wav" --format wav --quality high)
read -r soxs_w soxs_c _ < <(timed sox -m "${slow[@]}" -b 16 "$work/soxspeed.wav" speed "$speed" trim 0 "$seconds")

ratio() { python3 -c "print(f'{$1 / max($2, 0.01):.1f}')"; }
line() { printf '%-46s %8s s wall %8s s cpu%s\n' "$1" "$2" "$3" "$4"; }
echo "Load average now: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores (wall-clock times wait for it; processor times do not)"
line "beatloom --render --quality classic" "$classic_w" "$classic_c" "   peak ${classic_m} KB"
line "sox -m (the same loops, the same duration)" "$sox_w" "$sox_c" ""
printf '  classic against sox: %s x faster (wall), %s x less processor time\n' \
  "$(ratio "$sox_w" "$classic_w")" "$(ratio "$sox_c" "$classic_c")"
line "beatloom --render --quality high" "$high_w" "$high_c" "   peak ${high_m} KB"
line "sox -m ... speed $speed" "$soxs_w" "$soxs_c" ""
printf '  high against sox with speed: %s x faster (wall), %s x less processor time\n' \
  "$(ratio "$soxs_w" "$high_w")" "$(ratio "$soxs_c" "$high_c")"
for f in classic high sox soxspeed; do
  printf '  %-13s %s samples\n' "$f.wav" "$(soxi -s "$work/$f.wav")"
done
