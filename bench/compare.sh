#!/usr/bin/env bash
# Zorvan against the bare programs doing the same GL work (bench/bare/): CPU time and
# peak memory of each, run alternately, and the median ratios Zorvan / bare.
#   bench/compare.sh [BUILD_DIR] [PAIRS] [MOTES...]
# Defaults: build/, 3 pairs, 1500 and 10000 motes; 600 frames at 1920x1080. The window
# runs on a private Xvfb (its CPU is counted with the program's), full screen.
# COMPARE_SCREEN=3840x2160 runs the 4K case instead: Zorvan at two pixels a point (the
# full-screen window chooses it; --render is given --scale 2), the bare programs with
# quads of twice the size.
# COMPARE_FORMS picks the cases, of window (the default two), render and wayland. The
# wayland case runs `zorvan --fullscreen` and bare_wayland on a private headless sway
# (as nobody when run as root: sway will not run as root), an output of the screen's
# size at the same scale, and adds the ratio of sway's CPU during the runs.
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
read -ra forms <<<"${COMPARE_FORMS:-window render}"
work="$(mktemp -d)"
display=":$((500 + RANDOM % 400))"
Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
xpid=$!
swaypid=
trap 'kill $xpid $swaypid 2>/dev/null || true; wait; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export HOME="$work" XDG_CONFIG_HOME="$work/config"

if [[ " ${forms[*]} " == *" wayland "* ]]; then
  if ! command -v sway >/dev/null; then
    echo "compare: no sway here; the wayland case is skipped" >&2
    read -ra forms <<<"${forms[*]/wayland/}"
  else
    # sway's runtime folder and home, its own and private, in a folder it may pass.
    chmod 711 "$work"
    mkdir -m 700 "$work/run" "$work/home"
    printf 'output HEADLESS-1 mode %s scale %d\nswaybg_command -\nxwayland disable\n' "$screen" "$scale" \
      >"$work/home/config"
    nobody=()
    if [ "$(id -u)" = 0 ]; then
      chown nobody:nogroup "$work/run" "$work/home" "$work/home/config"
      nobody=(/usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups)
    fi
    env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" WLR_BACKENDS=headless \
      WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 "${nobody[@]}" sway -c "$work/home/config" \
      >"$work/sway.log" 2>&1 &
    swaypid=$!
    socket=
    for _ in $(seq 100); do
      socket=$(cd "$work/run" && ls wayland-? 2>/dev/null | head -n 1) || true
      [ -n "$socket" ] && break
      kill -0 $swaypid 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$socket" ] || { echo "compare: sway did not start: $(tail -c 300 "$work/sway.log")" >&2; exit 1; }
  fi
fi

ticks=$(getconf CLK_TCK)
cpu() { awk -v t="$ticks" '{print ($14 + $15) / t}' "/proc/$1/stat"; }

# One run: prints "cpu_seconds peak_kib server_cpu_seconds": the program's CPU and
# peak memory, and the CPU the display server of pid $1 (none for -) spent meanwhile.
measure() {
  local server="$1"; shift
  local before=0 after=0
  [ "$server" != - ] && before=$(cpu "$server")
  /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    echo "compare: failed: $* ($(head -c 300 "$work/err"))" >&2; exit 1; }
  [ "$server" != - ] && after=$(cpu "$server")
  awk -v b="$before" -v a="$after" '{printf "%.3f %d %.3f\n", $1 + $2, $3, a - b}' "$work/time"
}

# One run on sway, as measure: the program finds the Wayland display alone.
measure_on_sway() { unset DISPLAY; WAYLAND_DISPLAY="$socket" XDG_RUNTIME_DIR="$work/run" measure "$swaypid" "$@"; }

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

for n in "${counts[@]}"; do
  printf '[Zorvan]\nnumMotes=%d\n' "$n" >"$work/prefs.ini"
  for form in "${forms[@]}"; do
    : >"$work/cpu"; : >"$work/mem"; : >"$work/server"
    for i in $(seq "$pairs"); do
      case "$form" in
        window)
          z=$(DISPLAY=$display measure $xpid "$build/bin/zorvan" --fullscreen --frames "$frames" --prefs "$work/prefs.ini")
          b=$(DISPLAY=$display measure $xpid "$build/bin/bare_glx" "$frames" "$n" "$scale") ;;
        render)
          z=$(measure - "$build/bin/zorvan" --render "$work/z.png" --size "$screen" --scale "$scale" --frames "$frames" --prefs "$work/prefs.ini")
          b=$(measure - "$build/bin/bare_offscreen" "$work/b.png" "$swidth" "$sheight" "$frames" "$n" "$scale") ;;
        wayland)
          z=$(measure_on_sway "$build/bin/zorvan" --fullscreen --frames "$frames" --prefs "$work/prefs.ini")
          b=$(measure_on_sway "$build/bin/bare_wayland" "$frames" "$n") ;;
        *) echo "compare: no case $form" >&2; exit 2 ;;
      esac
      read -r zcpu zmem zserver <<<"$z"
      read -r bcpu bmem bserver <<<"$b"
      # The window's X server draws for it: its CPU is the program's.
      if [ "$form" = window ]; then
        zcpu=$(awk -v a="$zcpu" -v b="$zserver" 'BEGIN {printf "%.3f", a + b}')
        bcpu=$(awk -v a="$bcpu" -v b="$bserver" 'BEGIN {printf "%.3f", a + b}')
      fi
      server=; [ "$form" = wayland ] && server=", sway cpu $zserver s / $bserver s"
      echo "  $form $n motes, pair $i: zorvan cpu $zcpu s, peak $zmem KiB; bare cpu $bcpu s, peak $bmem KiB$server" >&2
      awk -v z="$zcpu" -v b="$bcpu" 'BEGIN {printf "%.4f\n", z / b}' >>"$work/cpu"
      awk -v z="$zmem" -v b="$bmem" 'BEGIN {printf "%.4f\n", z / b}' >>"$work/mem"
      awk -v z="$zserver" -v b="$bserver" 'BEGIN {printf "%.4f\n", (b > 0 ? z / b : 0)}' >>"$work/server"
    done
    server=; [ "$form" = wayland ] && server=$(printf ', sway CPU ratio %.2f' "$(median <"$work/server")")
    printf '%-6s %5d motes: CPU ratio %.2f, peak memory ratio %.2f%s (median of %d pairs)\n' \
      "$form" "$n" "$(median <"$work/cpu")" "$(median <"$work/mem")" "$server" "$pairs"
  done
done
