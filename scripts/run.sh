#!/usr/bin/env bash
# Builds Zorvan and runs it: in a window when there is a display (Wayland or X11),
# otherwise an offscreen render of 600 frames to zorvan.png. Arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh" run
# Only the programs: the test suite and the benchmarks need the test set's packages.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAN_TESTS=OFF -DZORVAN_BENCH=OFF >/dev/null
cmake --build "$root/build" -j2 --target zorvan zorvan-settings
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display; rendering 600 frames to zorvan.png instead" >&2
  set -- --render zorvan.png --size 1280x720 --frames 600
fi
exec "$root/build/bin/zorvan" "$@"
