#!/usr/bin/env bash
# Installs what Beatloom needs, builds it and starts it. Without a display it
# runs a short self-demonstration under a virtual display instead and says
# where it saved what it showed. Arguments are passed on to beatloom.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release > /dev/null
cmake --build build/release -j"$(nproc)"

program="$PWD/build/release/beatloom"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

demo="$PWD/build/demo"
echo "No display found: running a short self-demonstration under a virtual display (xvfb-run)."
echo "It opens the first demo song, builds a random groove and plays it for a few seconds."
# The demonstration plays through SDL's disk audio driver, which records
# what a sound card would have played.
shown=no
if command -v xvfb-run > /dev/null; then
  if xvfb-run -a -s "-screen 0 1280x800x24" "$program" --demo "$demo"; then
    shown=yes
  else
    echo "The virtual display did not work; running headless instead."
  fi
fi
if [ "$shown" = no ]; then
  "$program" --headless --screen 1280x800 --demo "$demo"
fi
echo "What Beatloom showed:  $demo/screen.png"
echo "What Beatloom played:  $demo/played.wav"
