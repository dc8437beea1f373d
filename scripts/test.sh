#!/usr/bin/env bash
# test.sh: from a bare Debian 12 machine to a finished test run.
#
#   1. installs the missing Debian packages and the zh_CN.UTF-8 locale (as root, or
#      through sudo);
#   2. starts a private Xvfb (1920x1080) on a free display;
#   3. creates the Wine prefix build/wineprefix (reused while complete) and starts a
#      persistent Wine session on it;
#   4. configures and builds the presets win32 and win64;
#   5. starts a program that holds the Wine session's desktop open for the run;
#   6. runs ctest on the win64 build, serially, through Wine.
#
# Exits with ctest's code. Always stops the X servers and Wine sessions it started.
# Extra arguments go to ctest, e.g. `bash scripts/test.sh -R Registry` or `-L unit`.
# VPARSE_JOBS sets the build's parallel jobs (default: number of CPUs).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$VP_ROOT"

t_start=$(vp_now)
screen_prefix="$VP_PREFIX-screen"

finish() {
  vp_cleanup "$VP_PREFIX" "$screen_prefix"
  vp_cleanup_recorded
}
trap finish EXIT
trap 'exit 143' TERM INT

vp_install_packages
vp_ensure_locales
vp_check_fonts
t_setup=$(vp_now)

vp_lock_tree
# X servers of this run, also those that scripts/with-screen.sh starts under ctest.
export VPARSE_PIDS_FILE="$VP_RUN_DIR/test-pids"
rm -f "$VPARSE_PIDS_FILE"

vp_start_xvfb 1920 1080
vp_ensure_prefix "$VP_PREFIX"
vp_ensure_prefix_copy "$VP_PREFIX" "$screen_prefix"
vp_wine_env "$VP_PREFIX"
vp_start_wine_session
t_prefix=$(vp_now)

vp_build_preset win32
vp_build_preset win64
t_build=$(vp_now)

# What every test sees. mshtml=d: no Gecko exists here; this silences Wine's
# complaint about it and makes a navigation fail sooner, with the same events.
# err+winediag: Wine's own diagnosis (no display driver, no desktop) reaches the
# output ctest shows for a failed test.
export DISPLAY WINEPREFIX WINEDEBUG=-all,err+winediag WINEDLLOVERRIDES=mshtml=d
export LC_ALL=C.UTF-8
unset LANGUAGE

# One desktop for the whole run, made in the code page of most tests.
LC_ALL=zh_CN.UTF-8 vp_keep_session "$VP_ROOT/build/win64/tests/vparse_keep_session.exe"

vp_log "ctest: win64 (serial; DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX)"
log="$VP_RUN_DIR/ctest.log"
# scripts/wine-test.sh, which starts every test program, notes here each start that
# Wine's loader gave up on before the program ran (and that it therefore made again).
export VPARSE_RUN_DIR="$VP_RUN_DIR"
restarts="$VP_RUN_DIR/wine-restarts.log"
rm -f "$restarts"
status=0
ctest --preset win64 "$@" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
t_end=$(vp_now)
if [[ -s $restarts ]]; then
  vp_log "test programs that Wine failed to start once (started again):"
  cat "$restarts" >&2
fi

finish
trap - EXIT
vp_log "times: setup $((t_setup - t_start)) s, X+prefix $((t_prefix - t_setup)) s, build $((t_build - t_prefix)) s, ctest $((t_end - t_build)) s, total $((t_end - t_start)) s"
summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n1 || true)
if [[ -n $summary ]]; then
  echo "$summary"
else
  vp_log "ctest printed no summary (exit code $status)"
  ((status != 0)) || status=1
fi
exit "$status"
