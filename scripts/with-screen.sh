#!/usr/bin/env bash
# with-screen.sh WIDTH HEIGHT -- COMMAND [ARG...]
#
# Runs COMMAND (normally `/usr/lib/wine/wine64 vparse_e2e.exe --gtest_filter=...`) on a
# screen of WIDTH x HEIGHT pixels: starts an Xvfb of that size on a free display,
# and a Wine session of its own on a copy of the run's prefix (a Wine session keeps
# the display of its first process, so the run's own session cannot change screens).
# COMMAND sees VPARSE_SCREEN_W and VPARSE_SCREEN_H. Exits with COMMAND's code.
#
# Used by the ctest tests that vparse_add_screen_test registers; scripts/test.sh
# exports what it needs (WINEPREFIX of the run, VPARSE_RUN_DIR). Run by hand it
# uses build/wineprefix, which scripts/test.sh or scripts/run.sh creates.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if (($# < 4)) || [[ $3 != -- ]] || ! [[ $1 =~ ^[0-9]+$ && $2 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 WIDTH HEIGHT -- COMMAND [ARG...]" >&2
  exit 2
fi
width=$1 height=$2
shift 3

base_prefix="${WINEPREFIX:-$VP_PREFIX}"
screen_prefix="${base_prefix%/}-screen"

finish() {
  vp_cleanup "$screen_prefix"
}
trap finish EXIT
trap 'exit 143' TERM INT

vp_start_xvfb "$width" "$height"
vp_ensure_prefix_copy "$base_prefix" "$screen_prefix"
vp_wine_env "$screen_prefix"
# A session of this prefix that is still winding down would keep its old display.
"$VP_WINESERVER" -k >/dev/null 2>&1 || true
"$VP_WINESERVER" -w
export VPARSE_SCREEN_W="$width" VPARSE_SCREEN_H="$height"

status=0
"$@" </dev/null || status=$?
exit "$status"
