#!/usr/bin/env bash
# wine-test.sh PROGRAM [ARG...]
#
# How ctest starts a Windows test program (CMAKE_CROSSCOMPILING_EMULATOR of the win64
# preset): through Wine's 64-bit loader, output passed on as it comes, exit code kept.
#
# Two things on top of a plain `wine64 PROGRAM`:
# - A program that fails says how it ended (exit code, or the signal, and the time it
#   took) on its last line of output, which ctest shows with the failure.
# - A start that produced no output at all and failed has not run the program: every
#   test program prints a line as the first thing its main() does. Wine's loader has
#   been seen to end like that within a few milliseconds (once, in CI, one start of
#   241). Such a start is made once more, and said: on the output, and in
#   wine-restarts.log of the run's folder, which scripts/test.sh prints at the end. A
#   program that printed anything is never started again; its result stands.
#
# The loader runs with a parent-death signal, so that ctest ending this script (a
# timeout) ends the program too, as it would without the script in between.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# VPARSE_WINE64 puts another loader in Wine's place (tests/rig checks this script so).
wine=${VPARSE_WINE64:-$VP_WINE}
run_dir=$VP_RUN_DIR

if (($# < 1)); then
  echo "usage: $0 PROGRAM [ARG...]" >&2
  exit 2
fi

out=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX") || exit 1
trap 'rm -f "$out"' EXIT

now_ms() { date +%s%3N; }

# Runs the program once; leaves its exit status in `status` and the time in `elapsed`.
run_once() {
  local start
  start=$(now_ms)
  setpriv --pdeathsig KILL -- "$wine" "$@" 2>&1 | tee "$out"
  status=${PIPESTATUS[0]}
  elapsed=$(($(now_ms) - start))
}

how_it_ended() {
  if ((status > 128)); then
    echo "ended by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null || echo '?')) after $elapsed ms"
  else
    echo "ended with exit code $status after $elapsed ms"
  fi
}

run_once "$@"
if ((status != 0)) && [[ ! -s $out ]]; then
  first=$(how_it_ended)
  note="[wine-test] $(basename "$1") ${*:2}: the first start $first without any output; started again"
  echo "$note"
  mkdir -p "$run_dir" 2>/dev/null && echo "$note" >>"$run_dir/wine-restarts.log"
  run_once "$@"
fi
if ((status != 0)); then
  echo "[wine-test] $(basename "$1") $(how_it_ended)"
fi
exit "$status"
