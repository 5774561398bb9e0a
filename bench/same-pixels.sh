#!/usr/bin/env bash
# The same scenes rendered by two zorvan programs, compared picture for picture: for a
# change of the offscreen GL path or the driver that must leave every pixel as it was.
#   bench/same-pixels.sh OLD_ZORVAN NEW_ZORVAN
old="$1"; new="$2"; out="$(mktemp -d)"
export HOME="$out/home" XDG_CONFIG_HOME="$out/home/c"; mkdir -p "$XDG_CONFIG_HOME"
cases=(
  "--size 800x600 --frames 1 --seed 1"
  "--size 1280x720 --frames 300 --seed 7"
  "--size 640x480 --frames 200 --seed 3 --mode 2 --colours logo --count 3000"
  "--size 640x480 --frames 200 --seed 3 --mode 1 --shape hexagon --tails --mote-size 8"
  "--size 900x500 --frames 150 --seed 5 --mode 4 --shape square --no-directional"
  "--size 1920x1080 --scale 2 --frames 120 --seed 9 --mode 6 --tails --mote-size 6"
  "--size 1920x1080 --scale 1.5 --frames 120 --seed 11 --mode 2"
  "--size 333x777 --frames 90 --seed 2 --mode 5 --count 10000 --bg '#203040'"
  "--size 2560x1024 --frames 60 --seed 4 --mode 2 --colours logo"
  "--size 16384x8 --frames 2 --seed 1"
)
same=0; diff=0
for c in "${cases[@]}"; do
  eval "\"$old\" --render \"$out/a.png\" $c" 2>/dev/null || echo "old failed: $c"
  eval "\"$new\" --render \"$out/b.png\" $c" 2>/dev/null || echo "new failed: $c"
  if cmp -s "$out/a.png" "$out/b.png"; then n=0; else n=$(compare -metric AE "$out/a.png" "$out/b.png" null: 2>&1); fi
  if [ "$n" = "0" ]; then same=$((same+1)); else diff=$((diff+1)); echo "differs ($n pixels): $c"; fi
done
echo "pixels: $same cases identical, $diff differ"
rm -rf "$out"
