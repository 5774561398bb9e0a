#!/usr/bin/env bash
# Installs the Debian packages that Zorvan needs to build, run and test.
# Skips the work when everything is already there, so a second run is quick.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dev libgl1-mesa-dri libglu1-mesa-dev libosmesa6-dev
  libx11-dev libxrandr-dev libxcomposite-dev libxdamage-dev
  libmagick++-dev imagemagick
  libglib2.0-dev
  clang libclang-rt-14-dev
  libpng-dev
  xvfb xauth x11-utils
  # xrandr splits the tests' X server into two monitors; the daemon runs Zorvan in them.
  x11-xserver-utils xscreensaver
  dpkg-dev file man-db
  # The settings dialog, and its test through the accessibility tree.
  libgtk-3-dev
  dbus dbus-x11 at-spi2-core libatk-adaptor
  python3-gi python3-pyatspi gir1.2-atspi-2.0 gir1.2-gtk-3.0
  xdotool
  # The power tests: mock UPower and power-profiles daemons on a private bus.
  python3-dbusmock
  # The Wayland backend (EGL on wl_surfaces, keys through xkbcommon, protocol code from
  # wayland-scanner, the window's title bar through libdecor and its plugin), and its
  # tests under a headless sway: screenshots, keys, idle.
  libwayland-dev libegl-dev libegl-mesa0 libxkbcommon-dev wayland-protocols fonts-dejavu-core
  libdecor-0-dev libdecor-0-plugin-1-cairo
  sway swayidle grim wtype
  # The other desktops' compositors, headless, for the same tests.
  weston kwin-wayland kwin-style-breeze cage mutter wayland-utils libglib2.0-bin
)

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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
