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
if command -v xvfb-run > /dev/null; then
  SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" \
    xvfb-run -a -s "-screen 0 1280x800x24" "$program" --demo "$demo" && exit 0
  echo "The virtual display did not work; running headless instead."
fi
SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" exec "$program" --headless --screen 1280x800 --demo "$demo"
