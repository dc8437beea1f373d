#!/usr/bin/env bash
# run.sh: builds vparse and starts it under Wine.
#
# Installs the missing Debian packages (as root, or through sudo), builds the presets
# win32 and win64, prepares the Wine prefix build/wineprefix-run and starts
# build/win64/vparse.exe with LC_ALL=zh_CN.UTF-8 (Chinese ANSI code page 936).
#
#   - With a DISPLAY, the window opens there; the script ends when the tool does and
#     exits with its exit code.
#   - With no DISPLAY (or with --headless), the tool runs on a private Xvfb: the script
#     waits for its window, saves a screenshot to build/screenshot-run.png (or the
#     path in VPARSE_SCREENSHOT), then closes the tool with Esc.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$VP_ROOT"

headless=0
case "${1:-}" in
  --headless) headless=1 ;;
  "") ;;
  *) echo "usage: $0 [--headless]" >&2; exit 2 ;;
esac
[[ -n ${DISPLAY:-} ]] || headless=1

run_prefix="$VP_PREFIX-run"
exe="$VP_ROOT/build/win64/vparse.exe"
shot="${VPARSE_SCREENSHOT:-$VP_ROOT/build/screenshot-run.png}"
title='墨舟制作_视频解析工具'

finish() {
  vp_cleanup "$run_prefix"
}
trap finish EXIT
trap 'exit 143' TERM INT

vp_install_packages
vp_ensure_locales
vp_check_fonts
vp_lock_tree
vp_build_preset win32
vp_build_preset win64 vparse
vp_unlock_tree
[[ -f $exe ]] || vp_die "$exe was not built"

if ((headless)); then
  vp_start_xvfb 1920 1080
fi
vp_ensure_prefix "$run_prefix"
vp_wine_env "$run_prefix"
# A session of this prefix left from an earlier run would keep that run's display.
"$VP_WINESERVER" -k >/dev/null 2>&1 || true
"$VP_WINESERVER" -w
export WINEDLLOVERRIDES=mshtml=d LC_ALL=zh_CN.UTF-8
unset LANGUAGE

if ((!headless)); then
  vp_log "starting $exe on $DISPLAY"
  status=0
  "$VP_WINE" "$exe" </dev/null || status=$?
  vp_log "vparse.exe ended with exit code $status"
  exit "$status"
fi

vp_log "starting $exe on the virtual display $DISPLAY"
"$VP_WINE" "$exe" </dev/null &
tool_pid=$!

win=""
for ((i = 0; i < 300; i++)); do
  win=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n1 || true)
  [[ -n $win ]] && break
  kill -0 "$tool_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $win ]]; then
  vp_die "the window \"$title\" did not appear"
fi
sleep 2 # the first paint of the controls and of the hint line
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
vp_log "window $win is up; screenshot of the screen saved to $shot"

# Esc closes the main window, as the close box does.
xdotool windowfocus --sync "$win" key Escape 2>/dev/null || true
status=""
for ((i = 0; i < 100; i++)); do
  if ! kill -0 "$tool_pid" 2>/dev/null; then
    status=0
    wait "$tool_pid" || status=$?
    break
  fi
  sleep 0.1
done
if [[ -z $status ]]; then
  vp_log "vparse.exe did not end on Esc; stopping its Wine session"
  "$VP_WINESERVER" -k >/dev/null 2>&1 || true
  wait "$tool_pid" 2>/dev/null || true
  exit 1
fi
vp_log "vparse.exe closed with exit code $status"
exit "$status"
