#!/usr/bin/env bash
# Whether root here can do what the root-only tests do: mount a tmpfs and make a
# folder immutable. Tried once, in DIR (where those tests make their folders),
# since being root is not enough in a container without those capabilities.
# Prints nothing and succeeds if it can; otherwise prints why not and fails.
#   root-can.sh DIR
set -uo pipefail
dir="${1:?usage: root-can.sh DIR}"
if [ "$(id -u)" -ne 0 ]; then
  echo "not run as root (user $(id -un))"
  exit 1
fi
mkdir -p "$dir" || { echo "cannot make $dir"; exit 1; }
try=$(mktemp -d "$dir/.root-can.XXXXXX") || { echo "cannot make a folder in $dir"; exit 1; }
trap 'chattr -i "$try" 2>/dev/null; mountpoint -q "$try" && umount "$try"; rmdir "$try"' EXIT
cannot=()
if out=$(mount -t tmpfs -o size=1m tmpfs "$try" 2>&1); then
  umount "$try" || cannot+=("cannot unmount the tmpfs it mounted on $try")
else
  out="${out%%$'\n'*}"
  cannot+=("mount -t tmpfs failed: ${out%.}")
fi
if out=$(chattr +i "$try" 2>&1); then
  chattr -i "$try" || cannot+=("cannot take the immutable mark off $try")
else
  out="${out%%$'\n'*}"
  cannot+=("chattr +i failed: ${out%.}")
fi
[ ${#cannot[@]} -eq 0 ] && exit 0
why="${cannot[0]}"
for more in "${cannot[@]:1}"; do why+="; $more"; done
echo "$why"
exit 1
