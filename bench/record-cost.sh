#!/usr/bin/env bash
# What `zorvan --record` costs against doing the same with the programs people use: the
# frames rendered by `zorvan --render` and encoded by the ffmpeg program from raw
# frames. CPU time (user and system) and file size of each, side by side, and the ratios.
#   bench/record-cost.sh [BUILD_DIR] [FRAMES] [SIZES...]
# Defaults: build/, 300 frames, 1280x720 and 1920x1080. RECORD_FORMATS picks the
# formats (default: mp4 webm gif). ffmpeg gets the same frames as raw RGB and its own
# encoder defaults (libx264 preset medium crf 23, libvpx-vp9 crf 32), in yuv420p as
# players need (given RGB it would pick 4:4:4); for GIF the same palette filter at 30
# frames a second, as --record makes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
frames="${2:-300}"
shift 2 2>/dev/null || shift $#
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1280x720 1920x1080)
read -ra formats <<<"${RECORD_FORMATS:-mp4 webm gif}"
zorvan="$build/bin/zorvan"
command -v ffmpeg >/dev/null || { echo "record-cost: needs the ffmpeg program (scripts/install-deps.sh test)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config"

# CPU seconds (user + system) of a command, its output thrown away.
cpu() {
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1
  awk '{printf "%.2f", $1 + $2}' "$work/time"
}
size() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf '%-9s %-5s %10s %10s %10s %7s %12s %12s %6s\n' size format record render ffmpeg ratio "record B" "ffmpeg B" ratio
for s in "${sizes[@]}"; do
  common=(--size "$s" --seed 2024 --frames "$frames")
  # The frames themselves, lossless, then raw for ffmpeg (not counted).
  "$zorvan" --record "$work/frames.mkv" "${common[@]}" 2>/dev/null
  ffmpeg -v error -i "$work/frames.mkv" -f rawvideo -pix_fmt rgb24 -y "$work/frames.rgb"
  render=$(cpu "$zorvan" --render "$work/last.png" "${common[@]}")
  raw=(-f rawvideo -pix_fmt rgb24 -video_size "$s" -framerate 60 -i "$work/frames.rgb")
  for f in "${formats[@]}"; do
    case "$f" in
      mp4) encode=(-c:v libx264 -pix_fmt yuv420p) ;;
      webm) encode=(-c:v libvpx-vp9 -pix_fmt yuv420p) ;;
      gif) encode=(-filter_complex "fps=30,split[a][b];[a]palettegen[p];[b][p]paletteuse") ;;
      *) echo "record-cost: no baseline for $f" >&2; continue ;;
    esac
    record=$(cpu "$zorvan" --record "$work/z.$f" "${common[@]}")
    theirs=$(cpu ffmpeg -v error "${raw[@]}" "${encode[@]}" -y "$work/f.$f")
    printf '%-9s %-5s %10s %10s %10s %7s %12s %12s %6s\n' "$s" "$f" "$record" "$render" "$theirs" \
      "$(ratio "$record" "$(awk -v a="$render" -v b="$theirs" 'BEGIN { print a + b }')")" \
      "$(size "$work/z.$f")" "$(size "$work/f.$f")" "$(ratio "$(size "$work/z.$f")" "$(size "$work/f.$f")")"
  done
  rm -f "$work/frames.rgb"
done
