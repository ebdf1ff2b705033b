#!/usr/bin/env bash
# Starts or stops the Wine session of a private prefix:
#   wine-session.sh start|stop <prefix> [win32|win64]
# A prefix made by start is a 64-bit one (64-bit Windows, where 32-bit programs run under WOW64)
# unless win32 is asked for (32-bit Windows); an existing prefix keeps what it is.
# The server and Wine's background services are started with standard input, output and error
# detached, so that no test runner waits on the pipes they would otherwise inherit.
#
# Windows need a display: Wine's desktop takes the display of the session's start. With DISPLAY
# set, the session uses it; otherwise start runs a private Xvfb on a free display for the
# session, recorded in the prefix (see with-display.sh), and stop ends it after the server. The
# session's display settings (wine-display.reg: Wine draws window captions itself, Chinese text
# finds its font) are imported at the start.
set -euo pipefail

action=$1
export WINEPREFIX=$(realpath -m "$2")
arch=${3:-win64}
case "$arch" in
  win32|win64) ;;
  *) echo "usage: $0 start|stop <prefix> [win32|win64]" >&2; exit 2 ;;
esac
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  export WINEARCH=$arch
fi
export WINEDEBUG=-all
display_file="$WINEPREFIX/session-display"
xvfb_file="$WINEPREFIX/session-xvfb.pid"

start_xvfb() {
  local number_file pid
  number_file=$(mktemp)
  # Xvfb picks a free display itself and writes its number once it accepts connections.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" \
    </dev/null >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 1 100); do
    if [ -s "$number_file" ] || ! kill -0 "$pid" 2>/dev/null; then
      break
    fi
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    kill "$pid" 2>/dev/null || true
    rm -f "$number_file"
    echo "wine-session.sh: Xvfb did not start" >&2
    exit 1
  fi
  echo ":$(head -n 1 "$number_file")" >"$display_file"
  echo "$pid" >"$xvfb_file"
  rm -f "$number_file"
}

# Ends the Xvfb this script started for the prefix, and only that one.
stop_xvfb() {
  if [ -f "$xvfb_file" ]; then
    local pid
    pid=$(cat "$xvfb_file")
    if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then
      kill "$pid" 2>/dev/null || true
    fi
    rm -f "$xvfb_file" "$display_file"
  fi
}

case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ -z "${DISPLAY:-}" ]; then
      stop_xvfb
      start_xvfb
      export DISPLAY=$(cat "$display_file")
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    # regedit reads UTF-16 with a byte order mark and CR LF line ends.
    (printf '\xff\xfe'; sed 's/$/\r/' "$(dirname "$0")/wine-display.reg" | iconv -f UTF-8 -t UTF-16LE) \
      >"$WINEPREFIX/display.reg"
    wine regedit /S "$(wine winepath -w "$WINEPREFIX/display.reg" 2>/dev/null)" \
      </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    stop_xvfb
    ;;
  *)
    echo "usage: $0 start|stop <prefix> [win32|win64]" >&2
    exit 2
    ;;
esac
