#!/usr/bin/env bash
# Installs the Debian packages (Debian 12, 13 or testing) of one of two sets:
#   scripts/install-deps.sh run     building and running zorvan and zorvan-settings
#   scripts/install-deps.sh [test]  the run set, and what the test suite, the benchmarks
#                                   and the sanitizer and fuzz builds need (the default)
# Skips the work when everything is already there, so a second run is quick.
set -euo pipefail

which="${1:-test}"
case "$which" in
  run | test) ;;
  *) echo "usage: install-deps.sh [run|test]" >&2; exit 2 ;;
esac

RUN=(
  build-essential cmake pkg-config
  # OpenGL 1.x and GLU, EGL (the Wayland and offscreen views), and Mesa's drivers, which
  # the GL and EGL libraries load at run time.
  libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libx11-dev libxrandr-dev
  # The idle daemon asks the X server for the idle time (MIT-SCREEN-SAVER).
  libxss-dev
  libmagick++-dev libglib2.0-dev libpng-dev
  # --record: FFmpeg's libraries (with libx264, libvpx and libwebp in Debian's build).
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libavutil-dev
  # The settings pane.
  libgtk-3-dev
  # The Wayland backend: EGL on wl_surfaces, keys through xkbcommon, protocol code from
  # wayland-scanner, the window's title bar through libdecor and its plugin.
  libwayland-dev libxkbcommon-dev wayland-protocols libdecor-0-dev libdecor-0-plugin-1-cairo
  # The --fps text.
  fonts-dejavu-core
  # The lock screen's authentication (security/pam_appl.h, libpam), and its prompt's
  # text through Pango over cairo.
  libpam0g-dev libpango1.0-dev libcairo2-dev
  # The README's `cpack -G DEB`: CPack finds the programs to ask dpkg-shlibdeps about with it.
  file
)

TEST=(
  libgtest-dev libgmock-dev libbenchmark-dev
  # The window tests read windows back through Composite and count frames through DAMAGE.
  libxcomposite-dev libxdamage-dev
  # The fuzz build (scripts/fuzz.sh); bench/compare.sh's /usr/bin/time.
  clang libclang-rt-dev time
  xvfb xauth x11-utils
  # xrandr splits the tests' X server into two monitors; the daemon runs Zorvan in them.
  x11-xserver-utils xscreensaver
  # The recordings' tests read animated WebP back with libwebp; bench/record-cost.sh
  # measures the ffmpeg program beside --record.
  libwebp-dev ffmpeg
  # The Debian package's test (dpkg-deb, dpkg-shlibdeps) and the man page's.
  dpkg-dev man-db
  # The settings pane through the accessibility tree, its logo picture made by convert.
  dbus dbus-x11 at-spi2-core libatk-adaptor
  python3-gi python3-pyatspi gir1.2-atspi-2.0 gir1.2-gtk-3.0 imagemagick
  xdotool
  # The power tests: mock UPower and power-profiles daemons on a private bus.
  python3-dbusmock
  # The Wayland tests under a headless sway: screenshots, keys, idle.
  sway swayidle grim wtype
  # The other desktops' compositors, headless, for the same tests.
  weston kwin-wayland kwin-style-breeze cage mutter wayland-utils libglib2.0-bin
  # The lock tests: real PAM through pam_wrapper and pam_matrix, and gcore for the core
  # dump that must not hold the password.
  libpam-wrapper gdb
)

# Every name above is the same on Debian 12, 13 and testing; the releases differ in what
# they have besides.
release="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
case "$release" in
  bookworm) ;;
  # labwc (the desktop of Raspberry Pi OS), headless for the tests, its outputs set with
  # wlr-randr; neither is in Debian 12.
  trixie) TEST+=(labwc wlr-randr) ;;
  # mutter 49 and later run only headless: the GNOME tests read its screencasts through
  # PipeWire and GStreamer.
  *)
    [ "$release" = forky ] ||
      echo "install-deps: not Debian 12, 13 or testing (${release:-unknown release}); trying the testing release's package names" >&2
    TEST+=(labwc wlr-randr pipewire wireplumber gstreamer1.0-pipewire gstreamer1.0-plugins-base gir1.2-gstreamer-1.0)
    ;;
esac

PACKAGES=("${RUN[@]}")
[ "$which" = test ] && PACKAGES+=("${TEST[@]}")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# Another apt at work (an automatic upgrade, a second build) is waited for, not failed on.
lock=(-o DPkg::Lock::Timeout=600)
$SUDO apt-get "${lock[@]}" update -qq
$SUDO apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
