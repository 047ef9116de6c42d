#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix lives in the build folder; Japanese locale so the ANSI code page is 932;
# a persistent wineserver keeps warm start-up in the tens of milliseconds.
set -eu
prefix=$1; shift
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

mkdir -p "$prefix"
# Wine's background services (services.exe, plugplay, ...) outlive the program; started
# here with every stream closed, they cannot hold CTest's output pipes open.
(
  flock 9
  # 9>&-: the server and services must not inherit the lock, or it is never released.
  "$wineserver" -p >/dev/null 2>&1 </dev/null 9>&- || true
  if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 </dev/null 9>&- || true
  fi
  # Dialogs get a virtual desktop (title bars, and no wait for a window manager when a
  # window closes) and a Japanese dialog font. Imported again only when the file changes;
  # the desktop already made at boot takes the setting only from a new server.
  settings=$(dirname "$0")/wine-gui.reg
  if ! cmp -s "$settings" "$prefix/drive_c/wine-gui.reg"; then
    cp "$settings" "$prefix/drive_c/wine-gui.reg.new"
    if "$wine" regedit /S 'C:\wine-gui.reg.new' >/dev/null 2>&1 </dev/null 9>&-; then
      mv "$prefix/drive_c/wine-gui.reg.new" "$prefix/drive_c/wine-gui.reg"
      "$wineserver" -k >/dev/null 2>&1 </dev/null 9>&- || true
      "$wineserver" -p >/dev/null 2>&1 </dev/null 9>&- || true
    fi
  fi
  "$wine" cmd /c exit >/dev/null 2>&1 </dev/null 9>&- || true
) 9>"$prefix.lock"
exec "$wine" "$@"
