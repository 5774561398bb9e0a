#!/usr/bin/env bash
# The README's two commands on a fresh, minimal Debian 12, 13 or testing: makes a root of that
# release with debootstrap (minbase), clones this checkout's committed HEAD into
# /root/zorvan there, and runs, as root in a chroot, scripts/run.sh with no display (the
# offscreen render) and then scripts/test.sh. Prints the time of each, the render's size
# and the tests passed, skipped and failed; exits non-zero when either command fails.
#   scripts/test-release.sh 12|13|testing [--keep DIR]
# The root lies in a temporary folder, removed at the end; --keep DIR keeps it in DIR
# and reuses the root already there (no debootstrap, its packages already installed).
# Everything runs in private mount and process namespaces: the mounts (/proc, /sys, /dev,
# /dev/pts, /dev/shm, /run) and any process left running end with the script.
# A mirror may serve the testing suite as a snapshot whose Release file has expired: the
# root's apt is then told to take it (Acquire::Check-Valid-Until "false"), and the script
# says so.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

usage() { echo "usage: scripts/test-release.sh 12|13|testing [--keep DIR]" >&2; exit 2; }
release="" keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    12 | bookworm) release=bookworm ;;
    13 | trixie) release=trixie ;;
    testing | forky) release=forky ;;
    --keep) [ $# -ge 2 ] || usage; keep="$2"; shift ;;
    *) usage ;;
  esac
  shift
done
[ -n "$release" ] || usage
[ "$(id -u)" -eq 0 ] || { echo "test-release: run it as root (debootstrap, mounts, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || {
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
}

commit="$(git -C "$repo" rev-parse --short HEAD)"
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  root="$(cd "$keep" && pwd -P)"
  [ "$root" != / ] || { echo "test-release: --keep / would be this machine's own root" >&2; exit 2; }
else
  root="$(mktemp -d /var/tmp/zorvan-release-root.XXXXXX)"
  # Nothing is mounted under the root outside the namespaces; the check guards rm -rf.
  trap 'findmnt -rn -o TARGET | grep -q "^$root/" || rm -rf "$root"' EXIT
fi
# The root's / as a system's: nobody and apt's own user pass through it.
chmod 755 "$root"
logs="$(mktemp -d "${TMPDIR:-/tmp}/zorvan-release-$release.XXXXXX")"
# The committed state only, as it is now: a bundle of HEAD, cloned into the root below.
git -C "$repo" bundle create -q "$logs/head.bundle" HEAD

# A finished debootstrap leaves apt and no debootstrap/ folder behind.
if [ -x "$root/usr/bin/apt-get" ] && [ ! -d "$root/debootstrap" ]; then
  found="$(. "$root/etc/os-release" && echo "${VERSION_CODENAME:-}")"
  [ "$found" = "$release" ] || { echo "test-release: $root holds $found, not $release" >&2; exit 1; }
  echo "test-release: reusing the $release root in $root" >&2
else
  echo "test-release: debootstrap $release into $root" >&2
  start=$SECONDS
  # An older debootstrap knows no script for a newer release: every Debian release since
  # buster takes sid's.
  script=()
  [ -e "/usr/share/debootstrap/scripts/$release" ] || script=(http://deb.debian.org/debian /usr/share/debootstrap/scripts/sid)
  debootstrap --variant=minbase "$release" "$root" "${script[@]}" >"$logs/debootstrap.log" 2>&1 \
    || { tail -n 20 "$logs/debootstrap.log" >&2; exit 1; }
  echo "debootstrap $((SECONDS - start)) s" >"$logs/times"
fi

# An expired Release file (a mirror's snapshot of testing) is taken as it is.
mirror="$(awk '$1 == "deb" { print $2; exit }' "$root/etc/apt/sources.list" 2>/dev/null || true)"
validUntil="$(curl -fsS -m 60 "${mirror:-http://deb.debian.org/debian}/dists/$release/Release" 2>/dev/null \
  | sed -n 's/^Valid-Until: //p' || true)"
if [ -n "$validUntil" ] && [ "$(date -d "$validUntil" +%s 2>/dev/null || echo 0)" -lt "$(date +%s)" ]; then
  echo "test-release: the mirror's $release Release expired on $validUntil; apt in the root ignores that (Acquire::Check-Valid-Until \"false\")" >&2
  printf 'Acquire::Check-Valid-Until "false";\n' >"$root/etc/apt/apt.conf.d/99zorvan-expired-release"
fi

rm -rf "$root/root/zorvan"
git -c advice.detachedHead=false clone -q "$logs/head.bundle" "$root/root/zorvan"
# Services that packages would start on installation stay off, as in a container.
# (Links in the root are removed first: writing through one could reach the host's files.)
rm -f "$root/usr/sbin/policy-rc.d" "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

inside() {
  set -e
  local root="$1" logs="$2"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
  mount -t tmpfs -o mode=755 run "$root/run"
  local step start status
  for step in run test; do
    start=$SECONDS
    status=0
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -c "cd /root/zorvan && ./scripts/$step.sh" >"$logs/$step.log" 2>&1 || status=$?
    echo "$step $((SECONDS - start)) s $status" >>"$logs/times"
  done
}
unshare --mount --propagation private --pid --fork \
  bash -c "$(declare -f inside); inside \"\$1\" \"\$2\"" inside "$root" "$logs"

# The size of a PNG picture, from its header.
pngSize() {
  local b
  read -ra b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((b[0] << 24) + (b[1] << 16) + (b[2] << 8) + b[3]))x$(((b[4] << 24) + (b[5] << 16) + (b[6] << 8) + b[7]))"
}

echo "test-release: Debian $(. "$root/etc/os-release" && echo "${VERSION_ID:-testing} ($VERSION_CODENAME)"), commit $commit; logs in $logs"
failed=0
[ -f "$logs/debootstrap.log" ] && echo "  $(grep '^debootstrap' "$logs/times")"
while read -r step seconds _ status; do
  [ "$step" = debootstrap ] && continue
  line="  scripts/$step.sh: $seconds s, "
  if [ "$status" -ne 0 ]; then
    failed=1
    line+="failed (status $status)"
  elif [ "$step" = run ]; then
    png="$root/root/zorvan/zorvan.png"
    if [ -f "$png" ]; then line+="zorvan.png $(pngSize "$png")"; else line+="no zorvan.png"; failed=1; fi
  fi
  if [ "$step" = test ]; then
    [ "$status" -ne 0 ] && line+="; "
    line+="tests: $(grep -c ' Passed ' "$logs/test.log" || true) passed,"
    line+=" $(grep -c '\*\*\*Skipped' "$logs/test.log" || true) skipped,"
    line+=" $(grep -cE '\*\*\*(Failed|Timeout|Exception)|\*\*\*Not Run' "$logs/test.log" || true) failed"
  fi
  echo "$line"
  if [ "$status" -ne 0 ]; then
    echo "  the end of $logs/$step.log:"
    tail -n 25 "$logs/$step.log" | sed 's/^/    /'
  fi
done <"$logs/times"
rm -f "$logs/head.bundle"
exit $failed
