# shellcheck shell=bash
# Sourced by the run, test and benchmark scripts: which Wine runs our Windows
# programs (decided here and nowhere else), a private X display and a prefix.
#   wine_env_choose                  sets SNAPVIK_WINE_ARCH (32 or 64), SNAPVIK_WINE_WHY and
#                                    SNAPVIK_WIN_BUILD (the build folder of that program)
#   wine_env_use ARCH DIR            puts that loader first on PATH and makes or reuses DIR/prefix
#   wine_env_start DIR [WxHxDEPTH]   a private session: HOME in DIR, an Xvfb, and
#                                    wine_env_use with the chosen loader
#   wine_env_stop                    stops the Wine server of that prefix and the Xvfb, by id
# Each step's output goes to DIR/logs; a step that fails names its log.

SNAPVIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/steps.sh
source "$SNAPVIK_ROOT/scripts/steps.sh"

# Whether the kernel runs 32-bit code at all: a 93-byte i386 program that only
# exits, run in the first of build/, the temporary folder and /dev/shm where a
# file may be run at all (a noexec mount refuses every program, which says
# nothing about the kernel). Returns 0 if it runs, 1 if the kernel refuses it,
# 2 if no folder lets a program run; SNAPVIK_PROBE_WHY says what was seen.
wine_env_kernel_runs_32bit() {
  local elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'
  elf+='\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  elf+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00'
  elf+='\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
  local dir probe out refused=() where
  mkdir -p "$SNAPVIK_ROOT/build"
  for dir in "$SNAPVIK_ROOT/build" "${TMPDIR:-/tmp}" /dev/shm; do
    if [ ! -d "$dir" ] || [ ! -w "$dir" ]; then continue; fi
    where="${dir#"$SNAPVIK_ROOT"/}/"
    probe=$(mktemp "$dir/.probe-i386.XXXXXX") || continue
    # A shell script beside the probe: if it cannot run, no program can run here.
    printf '#!/bin/sh\nexit 0\n' >"$probe"
    chmod +x "$probe"
    if ! out=$("$probe" 2>&1); then
      rm -f "$probe"
      if findmnt -n -o OPTIONS -T "$dir" 2>/dev/null | tr , '\n' | grep -qx noexec; then
        refused+=("$where is mounted noexec")
      else
        refused+=("$where lets no program run (${out##*: })")
      fi
      continue
    fi
    printf "$elf" >"$probe"
    local status=0
    out=$("$probe" 2>&1) || status=$?
    rm -f "$probe"
    if [ "$status" -eq 0 ]; then
      SNAPVIK_PROBE_WHY="a 32-bit program ran in $where"
    else
      SNAPVIK_PROBE_WHY="a 32-bit program in $where failed: ${out##*: }"
    fi
    [ ${#refused[@]} -eq 0 ] || SNAPVIK_PROBE_WHY+="; tried there as $(wine_env_join ' and ' "${refused[@]}")"
    [ "$status" -eq 0 ] && return 0
    return 1
  done
  SNAPVIK_PROBE_WHY="no program can run here: $(wine_env_join ', ' "${refused[@]}")"
  return 2
}

wine_env_join() {
  local sep="$1" out="$2" item
  shift 2
  for item in "$@"; do out+="$sep$item"; done
  echo "$out"
}

wine_env_choose() {
  local probe=0
  case "${SNAPVIK_WINE_ARCH:-}" in
    64) SNAPVIK_WINE_WHY="SNAPVIK_WINE_ARCH=64 asks for it" ;;
    32 | "")
      wine_env_kernel_runs_32bit || probe=$?
      if [ "$probe" = 0 ]; then
        SNAPVIK_WINE_WHY="this machine runs 32-bit code"
        [ -n "${SNAPVIK_WINE_ARCH:-}" ] && SNAPVIK_WINE_WHY="SNAPVIK_WINE_ARCH=32 asks for it"
        SNAPVIK_WINE_ARCH=32
      elif [ "$probe" = 2 ]; then
        # Wine's loaders live in /usr/lib, so either may still run; only the probe had nowhere to go.
        SNAPVIK_WINE_WHY="whether this machine runs 32-bit code is unknown ($SNAPVIK_PROBE_WHY)"
        if [ "${SNAPVIK_WINE_ARCH:-}" = 32 ]; then
          SNAPVIK_WINE_WHY="SNAPVIK_WINE_ARCH=32 asks for it; $SNAPVIK_WINE_WHY"
        else
          SNAPVIK_WINE_WHY+=", and the 64-bit program runs on every machine"
          SNAPVIK_WINE_ARCH=64
        fi
      elif [ "${SNAPVIK_WINE_ARCH:-}" = 32 ]; then
        echo "SNAPVIK_WINE_ARCH=32, but this machine's kernel refuses 32-bit code ($SNAPVIK_PROBE_WHY)" >&2
        return 1
      else
        SNAPVIK_WINE_WHY="this machine's kernel refuses 32-bit code ($SNAPVIK_PROBE_WHY),"
        SNAPVIK_WINE_WHY+=" so Wine's 32-bit loader cannot start"
        SNAPVIK_WINE_ARCH=64
      fi ;;
    *) echo "SNAPVIK_WINE_ARCH must be 32 or 64, not '$SNAPVIK_WINE_ARCH'" >&2; return 1 ;;
  esac
  SNAPVIK_WIN_BUILD="$SNAPVIK_ROOT/build/win"
  [ "$SNAPVIK_WINE_ARCH" = 64 ] && SNAPVIK_WIN_BUILD="$SNAPVIK_ROOT/build/win64"
  export SNAPVIK_WINE_ARCH SNAPVIK_WINE_WHY SNAPVIK_WIN_BUILD
}

# "the 32-bit program build/win/Snapvik.exe", for the first line of a run.
wine_env_describe() {
  echo "the ${SNAPVIK_WINE_ARCH}-bit program ${SNAPVIK_WIN_BUILD#"$SNAPVIK_ROOT"/}/Snapvik.exe"
}

# Small scripts named wine and wineserver that start the loader of ARCH:
# /usr/bin/wine picks the 32-bit one whenever it is installed, even where it
# cannot run, and a symbolic link would not do (the loader reads its own name).
wine_env_loader_dir() {
  local arch="$1" dir="$SNAPVIK_ROOT/build/wine-bin/$1" loader server
  if [ "$arch" = 64 ]; then
    loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
  else
    # Debian's server script picks the 64-bit server, which a prefix made
    # beside wine64 needs; that prefix runs 64-bit programs too.
    loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver
  fi
  mkdir -p "$dir"
  printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$dir/wine"
  printf '#!/bin/sh\nexec %s "$@"\n' "$server" >"$dir/wineserver"
  chmod +x "$dir/wine" "$dir/wineserver"
  echo "$dir"
}

wine_env_prefix() {
  # A prefix of our own, with Wine's own fonts in its Fonts folder (Wine
  # does not load them from where Debian puts them), the window frames drawn
  # by Wine (Xvfb has no window manager) and the link colour Windows uses.
  local stamp="$WINEPREFIX/.snapvik-prefix-1" logs="$1"
  [ -f "$stamp" ] && return 0
  rm -rf "$WINEPREFIX"
  step "$logs/wineboot.log" "making the Wine prefix $WINEPREFIX (wine wineboot -i)" wine wineboot -i
  step "$logs/wineserver-wait.log" "waiting for the new prefix's Wine server (wineserver -w)" wineserver -w
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  step "$logs/fonts.log" "copying Wine's fonts into $fonts (package fonts-wine)" \
    cp /usr/share/wine/fonts/*.ttf "$fonts/"
  step "$logs/reg.log" "setting the prefix's window frames (wine reg add)" \
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
  step "$logs/reg.log" "setting the prefix's link colour (wine reg add)" \
    wine reg add 'HKCU\Control Panel\Colors' /v HotTrackingColor /d '0 102 204' /f
  step "$logs/reg.log" "setting the prefix's menu colour (wine reg add)" \
    wine reg add 'HKCU\Control Panel\Colors' /v MenuHilight /d '0 120 215' /f
  step "$logs/wineserver-wait.log" "waiting for the prefix's Wine server (wineserver -w)" wineserver -w
  touch "$stamp"
}

# The logs of a session's steps are kept in DIR/logs.
wine_env_use() {
  local arch="$1" dir logs
  dir=$(mkdir -p "$2" && cd "$2" && pwd)
  logs="$dir/logs"
  mkdir -p "$logs"
  [ -n "${SNAPVIK_PLAIN_PATH:-}" ] || SNAPVIK_PLAIN_PATH="$PATH"
  local loaders
  loaders=$(wine_env_loader_dir "$arch")
  export PATH="$loaders:$SNAPVIK_PLAIN_PATH"
  export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export SNAPVIK_WINE_LOADED="$arch"
  step "$logs/wine-version.log" "starting Wine's ${arch}-bit loader (wine --version)" wine --version
  wine_env_prefix "$logs"
  # One server for the whole run, so that each program starts in a fraction of
  # a second instead of bringing the prefix's services up again.
  step "$logs/wineserver.log" "starting the Wine server of $WINEPREFIX (wineserver -p)" wineserver -p
  # The services start with the first program; started here, they hold no
  # caller's output open (CTest waits for every holder of its pipe).
  wine cmd /c exit >"$logs/services.log" 2>&1 </dev/null || true
}

wine_env_start() {
  local dir screen="${2:-1920x1080x24}"
  dir=$(mkdir -p "$1/home/Desktop" "$1/logs" && cd "$1" && pwd)
  # Wine links the shell's Desktop and Documents to HOME when it makes a prefix.
  export HOME="$dir/home"
  local fdfile="$dir/display.$$" log="$dir/logs/xvfb.log"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fdfile" >"$log" 2>&1 </dev/null &
  SNAPVIK_XVFB_PID=$!
  local _
  for _ in $(seq 1 300); do
    [ -s "$fdfile" ] && break
    kill -0 "$SNAPVIK_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    local status=0
    if kill -0 "$SNAPVIK_XVFB_PID" 2>/dev/null; then
      echo "FAILED: Xvfb $screen gave no display number within 30 s; its output: $log" >&2
    else
      wait "$SNAPVIK_XVFB_PID" || status=$?
      SNAPVIK_XVFB_PID=
      step_failed "$log" "starting Xvfb $screen" "$status"
    fi
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
  wine_env_use "$SNAPVIK_WINE_ARCH" "$dir"
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "${SNAPVIK_XVFB_PID:-}" ]; then
    kill "$SNAPVIK_XVFB_PID" 2>/dev/null || true
    wait "$SNAPVIK_XVFB_PID" 2>/dev/null || true
    SNAPVIK_XVFB_PID=
  fi
}
