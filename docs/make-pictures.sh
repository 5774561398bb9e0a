#!/usr/bin/env bash
# Renders the README's pictures of Zorvan with the program itself (`zorvan --render`,
# and `zorvan --record` for the moving one at the top), offscreen, with the default
# settings: the user's own saved settings are not read.
# Run from anywhere: bash docs/make-pictures.sh (builds build/bin/zorvan if needed).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
zorvan="${ZORVAN:-$root/build/bin/zorvan}"
if [ ! -x "$zorvan" ]; then
  bash "$root/scripts/install-deps.sh" run
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAN_TESTS=OFF -DZORVAN_BENCH=OFF >/dev/null
  cmake --build "$root/build" -j2 --target zorvan
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# name, then the settings and motion for that picture; all from one seed, 640x360.
render() {
  local name="$1"
  shift
  "$zorvan" --prefs "$tmp/Zorvan.conf" --render "$root/docs/$name.png" --size 640x360 \
    --seed 2024 "$@"
  echo "docs/$name.png"
}

render flow --mode 0 --frames 400
render chase --mode 1 --frames 400
render gather --mode 2 --frames 500 --colours logo --count 3000
render hexagons-with-tails --mode 6 --frames 400 --shape hexagon --tails --mote-size 7 \
  --count 700 --speed 2 --light '#66ccff' --heavy white --bg '#0b1030'

# The moving picture at the top of the README: the scattered swarm streams in and
# gathers into the logo, six seconds as a GIF (30 frames a second; under 3 MB).
"$zorvan" --prefs "$tmp/Zorvan.conf" --record "$root/docs/swarm.gif" --size 480x270 --seed 2024 \
  --mode 2 --seconds 6
echo "docs/swarm.gif ($(( $(stat -c %s "$root/docs/swarm.gif") / 1024 )) KiB)"
