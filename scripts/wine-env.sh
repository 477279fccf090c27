# Sourced by the run and test scripts: the Wine prefix of this checkout and a
# display. Defines qrv_wine_init (creates the prefix once) and
# qrv_display_start / qrv_display_stop (an Xvfb of our own when there is no
# display).

QRV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$QRV_ROOT/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64

QRV_XVFB_PID=""

qrv_display_start() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QRV_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$QRV_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}

qrv_display_stop() {
  if [ -n "$QRV_XVFB_PID" ]; then
    kill "$QRV_XVFB_PID" 2>/dev/null || true
    wait "$QRV_XVFB_PID" 2>/dev/null || true
    QRV_XVFB_PID=""
  fi
}

# Maps the faces the patch window asks for onto the Chinese fonts setup.sh
# installs (Wine's font replacements), once per prefix: without them Wine
# draws empty boxes for every Chinese character. The key itself tells whether
# it is done: Wine's own font list in user.reg names the fonts as well.
qrv_map_fonts() {
  grep -qF '[Software\\Wine\\Fonts\\Replacements]' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  local reg
  reg="$(mktemp --suffix=.reg)"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"微软雅黑"="WenQuanYi Micro Hei"' '"Microsoft YaHei"="WenQuanYi Micro Hei"' \
    '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' \
    '"楷体"="AR PL UKai CN"' '"KaiTi"="AR PL UKai CN"' | iconv -f UTF-8 -t UTF-16 >"$reg"
  timeout 60 wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  rm -f "$reg"
}

# Creates the prefix on first use; a lock keeps parallel callers from racing.
qrv_wine_init() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 8
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "creating the Wine prefix $WINEPREFIX" >&2
      timeout 300 wineboot -i >/dev/null 2>&1 || true
      timeout 60 wineserver -w || true
    fi
    # Without a window manager Wine waits about 2 s on every managed window
    # as it closes; unmanaged windows close at once.
    if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
      timeout 60 wineserver -w || true
    fi
    qrv_map_fonts
  ) 8>"$(dirname "$WINEPREFIX")/.wine-lock"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "Wine prefix creation failed" >&2; return 1; }
}
