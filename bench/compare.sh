#!/usr/bin/env bash
# Zorvan against the bare programs doing the same GL work (bench/bare/): CPU time and
# peak memory of each, run alternately, and the median ratios Zorvan / bare.
#   bench/compare.sh [BUILD_DIR] [PAIRS] [MOTES...]
# Defaults: build/, 3 pairs, 1500 and 10000 motes; 600 frames at 1920x1080. The window
# runs on a private Xvfb (its CPU is counted with the program's), full screen.
# COMPARE_SCREEN=3840x2160 runs the 4K case instead: Zorvan at two pixels a point (the
# full-screen window chooses it; --render is given --scale 2), the bare programs with
# quads of twice the size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
pairs="${2:-3}"
shift 2 2>/dev/null || shift $#
counts=("$@")
[ ${#counts[@]} -eq 0 ] && counts=(1500 10000)
frames=600
screen="${COMPARE_SCREEN:-1920x1080}"
swidth="${screen%x*}"; sheight="${screen#*x}"
scale=1; { [ "$swidth" -gt 2560 ] || [ "$sheight" -gt 2560 ]; } && scale=2
work="$(mktemp -d)"
display=":$((500 + RANDOM % 400))"
Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export HOME="$work" XDG_CONFIG_HOME="$work/config"

ticks=$(getconf CLK_TCK)
xcpu() { awk -v t="$ticks" '{print ($14 + $15) / t}' "/proc/$xpid/stat"; }

# One run: prints "cpu_seconds peak_kib" (the X server's CPU added when $2 is "x").
measure() {
  local with_x="$1"; shift
  local before=0 after=0
  [ "$with_x" = x ] && before=$(xcpu)
  /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    echo "compare: failed: $* ($(head -c 300 "$work/err"))" >&2; exit 1; }
  [ "$with_x" = x ] && after=$(xcpu)
  awk -v b="$before" -v a="$after" '{printf "%.3f %d\n", $1 + $2 + (a - b), $3}' "$work/time"
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

for n in "${counts[@]}"; do
  printf '[Zorvan]\nnumMotes=%d\n' "$n" >"$work/prefs.ini"
  for form in window render; do
    : >"$work/cpu"; : >"$work/mem"
    for i in $(seq "$pairs"); do
      if [ "$form" = window ]; then
        z=$(DISPLAY=$display measure x "$build/bin/zorvan" --fullscreen --frames "$frames" --prefs "$work/prefs.ini")
        b=$(DISPLAY=$display measure x "$build/bin/bare_glx" "$frames" "$n" "$scale")
      else
        z=$(measure - "$build/bin/zorvan" --render "$work/z.png" --size "$screen" --scale "$scale" --frames "$frames" --prefs "$work/prefs.ini")
        b=$(measure - "$build/bin/bare_osmesa" "$work/b.png" "$swidth" "$sheight" "$frames" "$n" "$scale")
      fi
      echo "  $form $n motes, pair $i: zorvan cpu ${z% *} s, peak ${z#* } KiB; bare cpu ${b% *} s, peak ${b#* } KiB" >&2
      awk -v z="${z% *}" -v b="${b% *}" 'BEGIN {printf "%.4f\n", z / b}' >>"$work/cpu"
      awk -v z="${z#* }" -v b="${b#* }" 'BEGIN {printf "%.4f\n", z / b}' >>"$work/mem"
    done
    printf '%-6s %5d motes: CPU ratio %.2f, peak memory ratio %.2f (median of %d pairs)\n' \
      "$form" "$n" "$(median <"$work/cpu")" "$(median <"$work/mem")" "$pairs"
  done
done
