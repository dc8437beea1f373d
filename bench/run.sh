#!/usr/bin/env bash
# bench/run.sh: vparse against the baseline (bench/baseline.cpp), side by side.
#
#   1. builds the product presets (win32, win64: the program only), the baseline for
#      both architectures and the bench programs (build/bench, build/bench-win32);
#   2. starts a private Xvfb (1920x1080) and a Wine session on the prefix
#      build/wineprefix-bench (made like the tests' prefix, reused afterwards);
#   3. breaks the cost of a hint rewrite down inside vparse's own window
#      (vparse_bench_inproc hint-cost: the handler, its painting, a timer tick);
#   4. runs vparse and the baseline alternately (vparse_bench compare): start-up
#      time, peak working set, CPU in 30 s of idling, and after each idle round
#      the cost of 30 hint rewrites at the timer's own 1 s period (timer-split);
#      and the sizes of the exes;
#   5. runs the baseline, four variants of it that each add one piece of what vparse
#      has (Chinese title, common controls 6, the strip's controls, all three) and
#      vparse, to show where vparse's extra start-up time and memory go.
#
# Prints the table last; the whole output is kept in build/bench-run/bench-*.txt.
# Settings (environment): BENCH_STARTUP_RUNS (15), BENCH_IDLE_RUNS (5),
# BENCH_HINT_RUNS (1), BENCH_ATTRIBUTE_ROUNDS (9; BENCH_ATTRIBUTE=0 skips step 5),
# VPARSE_JOBS. Takes about 12 minutes with the defaults.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VP_ROOT"

startup_runs="${BENCH_STARTUP_RUNS:-15}"
idle_runs="${BENCH_IDLE_RUNS:-5}"
hint_runs="${BENCH_HINT_RUNS:-1}"
attribute_rounds="${BENCH_ATTRIBUTE_ROUNDS:-9}"

t0=$(vp_now)
bench_setup
t_setup=$(vp_now)

out="$BENCH_OUT/bench-$(date +%Y%m%d-%H%M%S).txt"
inproc="$BENCH_BUILD/bench/vparse_bench_inproc.exe"
driver="$BENCH_BUILD/bench/vparse_bench.exe"

# Where a rewrite of the hint line spends its time, in vparse's own window: the
# handler alone, with its painting, and as timer ticks at the shortest period.
ticks_costs=()
direct_costs=()
for ((i = 1; i <= hint_runs; i++)); do
  vp_log "hint cost: run $i of $hint_runs"
  log="$BENCH_OUT/hint-cost-$i.txt"
  bench_wine 300 "$inproc" hint-cost --writes 3000 --ticks 1000 --token "hintcost-$$-$i" >"$log" 2>&1 \
    || { cat "$log" >&2; vp_die "hint-cost run $i failed"; }
  sed 's/^/  /' "$log" | tee -a "$out"
  grep -q '^hint_cost_30_ticks_ms' "$log" || vp_die "hint-cost run $i printed no cost"
  ticks_costs+=("$(awk '/^hint_cost_30_ticks_ms/ {print $2}' "$log" | tr -d '\r')")
  direct_costs+=("$(awk '/^hint_cost_30_direct_ms/ {print $2}' "$log" | tr -d '\r')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
hint_ticks=$(median "${ticks_costs[@]}")
hint_direct=$(median "${direct_costs[@]}")
echo "cost of 30 hint rewrites (median of $hint_runs): ticks at a 10 ms period $hint_ticks ms, direct handler calls $hint_direct ms" | tee -a "$out"

vp_log "compare: $startup_runs start-up runs and $idle_runs idle runs of each program"
status=0
bench_wine 3600 "$driver" compare \
  --product "$(bench_winpath "$VP_ROOT/build/win64/vparse.exe")" \
  --baseline "$(bench_winpath "$BENCH_BUILD/bench/vparse_baseline.exe")" \
  --startup-runs "$startup_runs" --idle-runs "$idle_runs" --idle-from 5 --idle-to 35 \
  --timer-split "$(bench_winpath "$inproc")" --timer-split-seconds 15 \
  --hint-cost-ms "$hint_ticks" --hint-cost-source "ticks at a 10 ms period" \
  --size "vparse win32=$(bench_winpath "$VP_ROOT/build/win32/vparse.exe")" \
  --size "vparse win64=$(bench_winpath "$VP_ROOT/build/win64/vparse.exe")" \
  --size "baseline win32=$(bench_winpath "$BENCH_BUILD32/bench/vparse_baseline.exe")" \
  --size "baseline win64=$(bench_winpath "$BENCH_BUILD/bench/vparse_baseline.exe")" \
  2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}

if [[ ${BENCH_ATTRIBUTE:-1} != 0 ]]; then
  # Where the difference comes from: the baseline plus one piece of vparse each.
  vp_log "attribution: baseline variants and vparse, $attribute_rounds rounds"
  cmake --build "$BENCH_BUILD" -j "${VPARSE_JOBS:-$(nproc)}" --target vparse_baseline_variants >/dev/null \
    || vp_die "the baseline variants did not build"
  variants=()
  for v in cjk cc6 strip all; do
    variants+=(--program "baseline+$v=1=$(bench_winpath "$BENCH_BUILD/bench/vparse_baseline_$v.exe")")
  done
  echo | tee -a "$out"
  bench_wine 3600 "$driver" attribute --rounds "$attribute_rounds" \
    --program "baseline=1=$(bench_winpath "$BENCH_BUILD/bench/vparse_baseline.exe")" "${variants[@]}" \
    --program "vparse=11=$(bench_winpath "$VP_ROOT/build/win64/vparse.exe")" \
    2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}
fi

t_end=$(vp_now)
bench_finish
trap - EXIT
echo "bench: set-up $((t_setup - t0)) s, measuring $((t_end - t_setup)) s; output kept in $out" | tee -a "$out"
exit "$status"
