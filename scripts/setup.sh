#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Idempotent and quiet when all is present;
# a step that fails says so and names its log (under build/logs/).
#   bash scripts/setup.sh [PACKAGE...]   (a benchmark names the further packages it needs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/steps.sh
source "$root/scripts/steps.sh"
logs="$root/build/logs"

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

pkgs=(cmake make g++ googletest g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64
      wine wine32:i386 fonts-wine libxrender1:i386 libxrandr2:i386
      libxinerama1:i386 libxcursor1:i386 libxi6:i386 libxfixes3:i386 libxcomposite1:i386
      xvfb xdotool x11-apps x11-utils x11-xserver-utils imagemagick python3 libx11-dev "$@")
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0
mkdir -p "$logs"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  step "$logs/dpkg-add-architecture.log" "adding the i386 architecture ($SUDO dpkg --add-architecture i386)" \
    $SUDO dpkg --add-architecture i386
fi
echo "Installing: ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index now and then: try again, then go on with what was fetched.
for attempt in 1 2 3; do
  status=0
  $SUDO apt-get update >"$logs/apt-get-update.log" 2>&1 </dev/null || status=$?
  [ "$status" -eq 0 ] && break
  if [ "$attempt" -lt 3 ]; then
    sleep 5
  else
    step_failed "$logs/apt-get-update.log" \
      "apt-get update, tried three times; the install goes on with the indexes fetched before" "$status"
  fi
done
apt_install() { $SUDO apt-get install -y --no-install-recommends "$@"; }
# Without the security suite's i386 index the two architectures' library
# versions can disagree; the main suite alone always agrees with itself.
if ! apt_install "${need[@]}" >"$logs/apt-get-install.log" 2>&1 </dev/null; then
  echo "apt-get install failed (its output: $logs/apt-get-install.log); trying the main suite alone" >&2
  step "$logs/apt-get-install-bookworm.log" "installing ${need[*]} (apt-get install -t bookworm)" \
    apt_install -t bookworm "${need[@]}"
fi
