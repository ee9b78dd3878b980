# Sourced by the run, test and benchmark scripts: which Wine runs our Windows
# programs (decided here and nowhere else), a private X display and a prefix.
#   wine_env_choose                  sets SNAPVIK_WINE_ARCH (32 or 64), SNAPVIK_WINE_WHY and
#                                    SNAPVIK_WIN_BUILD (the build folder of that program)
#   wine_env_use ARCH DIR            puts that loader first on PATH and makes or reuses DIR/prefix
#   wine_env_start DIR [WxHxDEPTH]   a private session: HOME in DIR, an Xvfb, and
#                                    wine_env_use with the chosen loader
#   wine_env_stop                    stops the Wine server of that prefix and the Xvfb, by id

SNAPVIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Whether the kernel runs 32-bit code at all: a 93-byte i386 program that only exits.
wine_env_kernel_runs_32bit() {
  local probe="$SNAPVIK_ROOT/build/.probe-i386"
  mkdir -p "$SNAPVIK_ROOT/build"
  local elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'
  elf+='\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  elf+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00'
  elf+='\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
  printf "$elf" >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
}

wine_env_choose() {
  case "${SNAPVIK_WINE_ARCH:-}" in
    64) SNAPVIK_WINE_WHY="SNAPVIK_WINE_ARCH=64 asks for it" ;;
    32 | "")
      if wine_env_kernel_runs_32bit; then
        SNAPVIK_WINE_WHY="this machine runs 32-bit code"
        [ -n "${SNAPVIK_WINE_ARCH:-}" ] && SNAPVIK_WINE_WHY="SNAPVIK_WINE_ARCH=32 asks for it"
        SNAPVIK_WINE_ARCH=32
      elif [ "${SNAPVIK_WINE_ARCH:-}" = 32 ]; then
        echo "SNAPVIK_WINE_ARCH=32, but this machine's kernel refuses 32-bit code" >&2
        return 1
      else
        SNAPVIK_WINE_WHY="this machine's kernel refuses 32-bit code, so Wine's 32-bit loader cannot start"
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
  local stamp="$WINEPREFIX/.snapvik-prefix-1"
  [ -f "$stamp" ] && return 0
  rm -rf "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Control Panel\Colors' /v HotTrackingColor /d '0 102 204' /f >/dev/null 2>&1
  wine reg add 'HKCU\Control Panel\Colors' /v MenuHilight /d '0 120 215' /f >/dev/null 2>&1
  wineserver -w
  touch "$stamp"
}

wine_env_use() {
  local arch="$1" dir
  dir=$(mkdir -p "$2" && cd "$2" && pwd)
  [ -n "${SNAPVIK_PLAIN_PATH:-}" ] || SNAPVIK_PLAIN_PATH="$PATH"
  export PATH="$(wine_env_loader_dir "$arch"):$SNAPVIK_PLAIN_PATH"
  export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export SNAPVIK_WINE_LOADED="$arch"
  if ! wine --version >/dev/null 2>&1; then
    echo "Wine's ${arch}-bit loader does not start here" >&2
    return 1
  fi
  wine_env_prefix
  # One server for the whole run, so that each program starts in a fraction of
  # a second instead of bringing the prefix's services up again.
  wineserver -p >/dev/null 2>&1 </dev/null
  # The services start with the first program; started here, they hold no
  # caller's output open (CTest waits for every holder of its pipe).
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_env_start() {
  local dir screen="${2:-1920x1080x24}"
  dir=$(mkdir -p "$1/home/Desktop" && cd "$1" && pwd)
  # Wine links the shell's Desktop and Documents to HOME when it makes a prefix.
  export HOME="$dir/home"
  local fdfile="$dir/display.$$"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  SNAPVIK_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  [ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; return 1; }
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
