# Sourced by the run and test scripts: a private X display and Wine prefix.
#   wine_env_start DIR [WxHxDEPTH]   starts Xvfb, makes or reuses DIR/prefix, exports the variables
#   wine_env_stop                    stops the Wine server of that prefix and the Xvfb, by id

wine_env_prefix() {
  # A prefix of our own, with Wine's own fonts in its Fonts folder (Wine
  # does not load them from where Debian puts them), the window frames drawn
  # by Wine (Xvfb has no window manager) and the link colour Windows uses.
  local stamp="$WINEPREFIX/.snapvik-prefix-1"
  [ -f "$stamp" ] && return 0
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
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

wine_env_start() {
  local dir screen="${2:-1920x1080x24}"
  dir=$(mkdir -p "$1/home/Desktop" && cd "$1" && pwd)
  export HOME="$dir/home" WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
  wine_env_prefix
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "${SNAPVIK_XVFB_PID:-}" ]; then
    kill "$SNAPVIK_XVFB_PID" 2>/dev/null || true
    wait "$SNAPVIK_XVFB_PID" 2>/dev/null || true
    SNAPVIK_XVFB_PID=
  fi
}
