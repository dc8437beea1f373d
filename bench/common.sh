# Shared by bench/run.sh and bench/soak.sh: the same set-up scripts/test.sh makes
# (packages, locale, a private Xvfb, a Wine prefix and a persistent Wine session),
# with a prefix and a run folder of the benchmark's own, and the builds it measures.
# Source it, don't run it.

# A run folder of our own: scripts/test.sh clears and cleans up build/run's records.
export VPARSE_RUN_DIR="${VPARSE_BENCH_RUN_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/bench-run}"
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

BENCH_PREFIX="${VPARSE_BENCH_PREFIX:-$VP_ROOT/build/wineprefix-bench}"
BENCH_BUILD="$VP_ROOT/build/bench"            # 64-bit: the baseline and the bench programs
BENCH_BUILD32="$VP_ROOT/build/bench-win32"    # 32-bit: the baseline, for its size
BENCH_OUT="$VP_RUN_DIR"
BENCH_EXTRA_PIDS=()

bench_finish() {
  local pid
  for pid in "${BENCH_EXTRA_PIDS[@]}"; do
    vp_stop_pid "$pid"
  done
  BENCH_EXTRA_PIDS=()
  vp_cleanup "$BENCH_PREFIX"
  vp_cleanup_recorded
}

# Wine path of a Linux file (Z: is the root).
bench_winpath() { printf 'Z:%s' "$1"; }

# bench_wine SECONDS PROGRAM ARGS...: runs a Windows program in the session, bounded.
bench_wine() {
  local limit=$1
  shift
  timeout --kill-after=10 "$limit" "$VP_WINE" "$@" </dev/null
}

bench_setup() {
  trap bench_finish EXIT
  trap 'exit 143' TERM INT
  vp_install_packages
  vp_ensure_locales
  vp_check_fonts
  mkdir -p "$VP_RUN_DIR"
  vp_cleanup_recorded
  rm -f "$VP_RUN_DIR/pids"

  # The product as the presets build it (only the program: the tests are not needed).
  vp_build_preset win32 vparse
  vp_build_preset win64 vparse
  # The baseline and the bench programs, with the same toolchains and flags.
  local jobs="${VPARSE_JOBS:-$(nproc)}"
  vp_log "build: bench programs ($BENCH_BUILD, $BENCH_BUILD32)"
  cmake -S "$VP_ROOT" -B "$BENCH_BUILD" --toolchain "$VP_ROOT/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVPARSE_BUILD_BENCH=ON -DVPARSE_BUILD_TESTS=OFF >/dev/null \
    && cmake --build "$BENCH_BUILD" -j "$jobs" --target vparse_baseline vparse_bench vparse_bench_inproc \
    || vp_die "the bench build failed"
  cmake -S "$VP_ROOT" -B "$BENCH_BUILD32" --toolchain "$VP_ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVPARSE_BUILD_BENCH=ON -DVPARSE_BUILD_TESTS=OFF >/dev/null \
    && cmake --build "$BENCH_BUILD32" -j "$jobs" --target vparse_baseline \
    || vp_die "the 32-bit baseline build failed"

  vp_start_xvfb 1920 1080
  vp_ensure_prefix "$BENCH_PREFIX"
  vp_wine_env "$BENCH_PREFIX"
  # The code page the program is written for, as in the tests; no Gecko here.
  export LC_ALL=zh_CN.UTF-8 WINEDLLOVERRIDES=mshtml=d
  unset LANGUAGE
  vp_start_wine_session
}
