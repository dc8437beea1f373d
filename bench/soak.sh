#!/usr/bin/env bash
# bench/soak.sh: far more than a day of use of one live vparse window, watching its
# GDI and USER objects and private bytes.
#
#   1. set-up as bench/run.sh (builds, Xvfb, Wine session on build/wineprefix-bench);
#   2. a loopback HTTP proxy (bench/proxy.py) that answers every request itself:
#      the navigations end there and nothing leaves the machine;
#   3. in one process, vparse's own main window with the real web-browser component
#      (vparse_bench_inproc soak): SOAK_HINT_WRITES (100000) writes of the hint
#      through the timer's handler, then SOAK_NAVIGATIONS (10000) navigations by the
#      three buttons, each awaited until the component reports its end;
#   4. the reference for the navigations: the same component in a plain window of
#      a fresh process, navigated as often to the same addresses (soak-component);
#   5. from outside, against build/win64/vparse.exe (vparse_bench boxes):
#      SOAK_BOXES (1000) warning boxes opened by the parse button with no address
#      chosen, and closed with their OK button.
#
# Prints the samples and a verdict per phase; exits 0 when every phase stayed flat
# (for the navigations: grew no more than the component alone) and the proxy saw
# exactly the navigations. Output kept in build/bench-run/soak-*.txt. Takes about
# 4 to 7 minutes with the defaults.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VP_ROOT"

hint_writes="${SOAK_HINT_WRITES:-100000}"
navigations="${SOAK_NAVIGATIONS:-10000}"
boxes="${SOAK_BOXES:-1000}"
sample_every="${SOAK_SAMPLE_EVERY:-1000}"
box_sample_every="${SOAK_BOX_SAMPLE_EVERY:-100}"

t0=$(vp_now)
bench_setup
t_setup=$(vp_now)

out="$BENCH_OUT/soak-$(date +%Y%m%d-%H%M%S).txt"
port_file="$BENCH_OUT/proxy.port"
summary_file="$BENCH_OUT/proxy-summary.json"
rm -f "$port_file" "$summary_file"
python3 "$VP_ROOT/bench/proxy.py" "$port_file" "$summary_file" </dev/null &
proxy_pid=$!
BENCH_EXTRA_PIDS+=("$proxy_pid")
for ((i = 0; i < 100; i++)); do
  [[ -s $port_file ]] && break
  sleep 0.1
done
[[ -s $port_file ]] || vp_die "the loopback proxy did not start"
# Wine's HTTP stack takes the proxy from the environment of the process.
unset HTTP_PROXY https_proxy HTTPS_PROXY no_proxy NO_PROXY
export http_proxy="127.0.0.1:$(cat "$port_file")"
vp_log "loopback proxy on $http_proxy (pid $proxy_pid)"

status=0
vp_log "soak in process: $hint_writes hint writes, $navigations navigations"
t_a=$(vp_now)
bench_wine 3600 "$BENCH_BUILD/bench/vparse_bench_inproc.exe" soak \
  --hint-writes "$hint_writes" --navigations "$navigations" --sample-every "$sample_every" \
  --token "soak-$$" 2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}
t_b=$(vp_now)

vp_log "reference: $navigations navigations of the component alone"
bench_wine 3600 "$BENCH_BUILD/bench/vparse_bench_inproc.exe" soak-component \
  --navigations "$navigations" --sample-every "$sample_every" 2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}
t_c=$(vp_now)

vp_log "soak from outside: $boxes warning boxes"
bench_wine 3600 "$BENCH_BUILD/bench/vparse_bench.exe" boxes \
  --product "$(bench_winpath "$VP_ROOT/build/win64/vparse.exe")" \
  --count "$boxes" --sample-every "$box_sample_every" 2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}
t_d=$(vp_now)

# Wine's console output ends its lines with CR LF.
value() { awk -v key="$1" '$1 == key {print $2}' "$out" | tr -d '\r' | tail -n1; }
# change NAME FIELD: a figure of the soak_change line of the phase NAME.
change() {
  awk -F'"' -v name="$1" '$1 == "soak_change " && $2 == name {print $3}' "$out" | tr -d '\r' | tail -n1 \
    | awk -v field="$2" '{for (i = 1; i < NF; i++) if ($i == field) print $(i + 1)}'
}

# The proxy's own account: every navigation reached it, and nothing else did.
kill "$proxy_pid" 2>/dev/null || true
for ((i = 0; i < 50; i++)); do
  [[ -s $summary_file ]] && break
  sleep 0.1
done
vp_stop_pid "$proxy_pid"
BENCH_EXTRA_PIDS=()
begun=$(value navigations_begun)
begun_component=$(value navigations_begun_component)
if [[ -s $summary_file ]]; then
  requests=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["requests"])' "$summary_file")
  {
    echo
    echo "== loopback proxy: $requests requests (navigations begun: vparse ${begun:-?}, component alone ${begun_component:-?})"
    python3 -c 'import json,sys
for line, n in sorted(json.load(open(sys.argv[1]))["request_lines"].items()): print("  %6d  %s" % (n, line))' "$summary_file"
  } | tee -a "$out"
  if [[ $requests != "$((${begun:-0} + ${begun_component:-0}))" ]]; then
    echo "error: the proxy saw $requests requests for $((${begun:-0} + ${begun_component:-0})) navigations" | tee -a "$out"
    status=1
  fi
else
  echo "error: the loopback proxy wrote no summary" | tee -a "$out"
  status=1
fi

# Verdicts. Hint writes and warning boxes: GDI and USER objects unchanged and private
# bytes within their allowance from the first samples on. Navigations: the component
# grows by itself with each one, so vparse's share is what grows beyond the same
# component navigating alone: no more GDI or USER objects, and at most 32 KiB of
# private bytes per 1000 navigations (32 bytes each) in the steady growth, the heap's
# one-off steps of a few MiB left out (they come in either process, wherever the
# steady growth crosses a heap block's end).
nav_gdi=$(change navigations gdi); ref_gdi=$(change "navigations of the component alone" gdi)
nav_user=$(change navigations user); ref_user=$(change "navigations of the component alone" user)
nav_rate=$(change navigations steady_private_kib_per_1000)
ref_rate=$(change "navigations of the component alone" steady_private_kib_per_1000)
share=$(awk -v a="${nav_rate:-nan}" -v b="${ref_rate:-nan}" 'BEGIN {printf "%+.1f", a - b}')
nav_verdict=FLAT
if [[ -z $nav_rate || -z $ref_rate ]] || (( ${nav_gdi:-1} - ${ref_gdi:-0} != 0 || ${nav_user:-1} - ${ref_user:-0} != 0 )) \
  || ! awk -v s="$share" 'BEGIN {exit !(s <= 32)}'; then
  nav_verdict=GROWING
fi
writes_verdict=$(value hint_writes_verdict)
boxes_verdict=$(value boxes_verdict)
{
  echo
  echo "== soak verdicts"
  echo "  hint writes ($hint_writes):      ${writes_verdict:-not run}"
  echo "  navigations ($navigations):      $nav_verdict (GDI ${nav_gdi:-?} vs ${ref_gdi:-?} for the component alone, USER ${nav_user:-?} vs ${ref_user:-?}, steady private growth ${nav_rate:-?} vs ${ref_rate:-?} KiB per 1000: vparse's share $share KiB per 1000)"
  echo "  warning boxes ($boxes):          ${boxes_verdict:-not run}"
} | tee -a "$out"
[[ $writes_verdict == FLAT && $nav_verdict == FLAT && $boxes_verdict == FLAT ]] || status=1

bench_finish
trap - EXIT
echo "soak times: set-up $((t_setup - t0)) s, hint writes and navigations $((t_b - t_a)) s, component alone $((t_c - t_b)) s, warning boxes $((t_d - t_c)) s, total $((t_d - t0)) s; output kept in $out" | tee -a "$out"
exit "$status"
