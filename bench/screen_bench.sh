#!/usr/bin/env bash
# What the screen costs with the real window under a virtual X display:
#   - the time from start to the first picture of the program and to the
#     stage (the application window's groove panel) on the display;
#   - CPU while idle (the song browser shown, nothing playing) for 20 s;
#   - CPU while a demo groove plays for 20 s (Return in the song browser
#     loads and plays the first song).
# CPU is read from /proc (user + system time of the program) and given as a
# share of one core.
#
# Usage: bench/screen_bench.sh [BUILD_DIR] [WIDTHxHEIGHT] [SECONDS]
#   BUILD_DIR defaults to build/release, the display to 1280x800, the two
#   measured spans to 20 s each. Needs Xvfb (scripts/install-deps.sh).
set -euo pipefail

build=$(cd "${1:-build/release}" && pwd)
size=${2:-1280x800}
span=${3:-20}
width=${size%x*}
height=${size#*x}
[ -x "$build/beatloom" ] || { echo "no program in $build (build it first)" >&2; exit 1; }
command -v Xvfb > /dev/null || { echo "Xvfb is not installed (scripts/install-deps.sh)" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
xpid=""
fbdir=""
ppid_=""
cleanup() {
  [ -n "$ppid_" ] && kill "$ppid_" 2> /dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2> /dev/null || true
  wait 2> /dev/null || true
  rm -rf "$work" "$fbdir"
}
trap cleanup EXIT

# The display is watched by a small program of its own: polling with
# processes of the shell would take the processor the program starts on.
c++ -O2 -o "$work/fb_watch" "$here/fbwatch/fb_watch.cpp"

# A program folder of its own: links to the build's files, fresh preferences.
prog="$work/prog"
mkdir -p "$prog"
for f in beatloom Beatloom.xrs Helps.txt UserGuide.html Library; do
  [ -e "$build/$f" ] && ln -s "$build/$f" "$prog/$f"
done

# A display of its own, black, with its picture in a file.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display number" >&2; exit 1; }
# The picture lives in memory, as a display's does: a file on disk behind it
# would make every drawing of the display server a write to the disk.
fbdir=$(mktemp -d -p /dev/shm 2> /dev/null || mktemp -d -p "$work")
Xvfb ":$display" -screen 0 "${size}x24" -fbdir "$fbdir" -br -nolisten tcp > /dev/null 2>&1 &
xpid=$!
fb="$fbdir/Xvfb_screen0"
for _ in $(seq 1 500); do [ -s "$fb" ] && [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.01; done
[ -s "$fb" ] || { echo "Xvfb did not start" >&2; exit 1; }

# The stage is centred and scaled by the largest factor that fits (a
# fractional one too, never below 1); its bottom-left corner shows the groove
# panel once the application window is up.
read -r scale sx sy < <(awk -v w="$width" -v h="$height" 'BEGIN {
  s = (w * 480 > h * 640) ? h / 480 : w / 640; if (s < 1) s = 1
  lw = int(w / s); lh = int(h / s); ox = int((lw - 640) / 2); oy = int((lh - 480) / 2)
  printf "%.3g %d %d\n", s, (w - lw * s) / 2 + (ox + 12.5) * s, (h - lh * s) / 2 + (oy + 468.5) * s }')

cpu() {
  [ -r "/proc/$1/stat" ] || { echo "the program ended early: $(cat "$work/out.txt")" >&2; exit 1; }
  awk '{print $14 + $15}' "/proc/$1/stat"
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
hz=$(getconf CLK_TCK)

script="$work/script.txt"
if "$build/beatloom" --help | grep -q -- '--window'; then
  # Idle, then Return loads the song the browser selects and plays it.
  printf 'wait %d\npress return\nwait %d\nquit\n' $(( (span + 4) * 1000 )) $(( (span + 6) * 1000 )) > "$script"
  args=(--window --script "$script")
  mode=script
else
  # A program without scripted windows: idle is measured on a plain start,
  # playing on the demonstration, which plays about 8 s.
  args=()
  mode=demo
fi

cd "$prog"
# Starts the program; `times` says when its first picture and its stage
# were on the display, in ms from the start.
start() {
  local t0
  t0=$(date +%s%N)
  DISPLAY=":$display" SDL_AUDIODRIVER=dummy ./beatloom "${args[@]}" > "$work/out.txt" 2>&1 &
  ppid_=$!
  times=$("$work/fb_watch" "$fb" "$sx" "$sy" "$t0" 20000) || { echo "the program showed nothing: $(cat "$work/out.txt")" >&2; exit 1; }
}
# A new display compiles its keymap for the first program that comes, and the
# program's first start writes its preferences: neither is the start a person
# sees every day, so the figures come from the second start.
start
cold=$(echo "$times" | awk '/^shown/ {print $2}')
kill "$ppid_"; wait "$ppid_" 2> /dev/null || true
"$work/fb_watch" --black "$fb" "$sx" "$sy" || { echo "the first start's window stayed on the display" >&2; exit 1; }
start
first=$(echo "$times" | awk '/^first/ {print $2}')
shown=$(echo "$times" | awk '/^shown/ {print $2}')
echo "display ${size}, scale ${scale}"
echo "first picture on the display: ${first} ms"
echo "the stage on the display:     ${shown} ms (the very first start on a new display: ${cold} ms)"

measure() {  # label seconds
  local c0 c1 t1 t2
  c0=$(cpu "$ppid_"); t1=$(now_ms)
  sleep "$2"
  c1=$(cpu "$ppid_"); t2=$(now_ms)
  awk -v c=$((c1 - c0)) -v hz="$hz" -v ms=$((t2 - t1)) -v l="$1" \
    'BEGIN { printf "%-8s %5.2f s CPU in %5.2f s: %5.1f %% of one core\n", l, c / hz, ms / 1000, 100 * c / hz / (ms / 1000) }'
}

sleep 2
measure idle "$span"
if [ "$mode" = script ]; then
  sleep 4  # Return comes at span + 4 s; the song loads and starts
  measure playing "$span"
else
  kill "$ppid_"; wait "$ppid_" 2> /dev/null || true
  DISPLAY=":$display" ./beatloom --demo "$work/demo" > "$work/out.txt" 2>&1 &
  ppid_=$!
  sleep 3.5  # the start screen shows 1.5 s, then the groove plays about 8 s
  measure playing 6
fi
kill "$ppid_" 2> /dev/null || true
