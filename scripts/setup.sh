#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Idempotent and quiet when all is present.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

pkgs=(cmake make g++ googletest g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64
      wine wine32:i386 fonts-wine libxrender1:i386 libxrandr2:i386
      libxinerama1:i386 libxcursor1:i386 libxi6:i386 libxfixes3:i386 libxcomposite1:i386
      xvfb xdotool x11-apps x11-utils x11-xserver-utils imagemagick python3)
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "Installing: ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index now and then: try again, then go on with what was fetched.
for attempt in 1 2 3; do
  $SUDO apt-get update -qq >/dev/null 2>&1 && break
  [ "$attempt" -lt 3 ] && sleep 5
done
install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
# Without the security suite's i386 index the two architectures' library
# versions can disagree; the main suite alone always agrees with itself.
install 2>/dev/null || install -t bookworm
