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
#   4. from outside, against build/win64/vparse.exe (vparse_bench boxes):
#      SOAK_BOXES (1000) warning boxes opened by the parse button with no address
#      chosen, and closed with their OK button.
#
# Prints the samples and a verdict per phase; exits 0 when every phase stayed flat
# and the proxy saw exactly the navigations. Output kept in build/bench-run/soak-*.txt.
# Takes about 10 minutes with the defaults.
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

vp_log "soak from outside: $boxes warning boxes"
bench_wine 3600 "$BENCH_BUILD/bench/vparse_bench.exe" boxes \
  --product "$(bench_winpath "$VP_ROOT/build/win64/vparse.exe")" \
  --count "$boxes" --sample-every "$box_sample_every" 2>&1 | tee -a "$out" || status=${PIPESTATUS[0]}
t_c=$(vp_now)

# The proxy's own account: every navigation reached it, and nothing else did.
kill "$proxy_pid" 2>/dev/null || true
for ((i = 0; i < 50; i++)); do
  [[ -s $summary_file ]] && break
  sleep 0.1
done
vp_stop_pid "$proxy_pid"
BENCH_EXTRA_PIDS=()
if [[ -s $summary_file ]]; then
  requests=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["requests"])' "$summary_file")
  begun=$(awk '/^navigations_begun/ {print $2}' "$out" | tail -n1)
  {
    echo
    echo "== loopback proxy: $requests requests (navigations begun: ${begun:-?})"
    python3 -c 'import json,sys
for line, n in sorted(json.load(open(sys.argv[1]))["request_lines"].items()): print("  %6d  %s" % (n, line))' "$summary_file"
  } | tee -a "$out"
  if [[ $requests != "${begun:-}" ]]; then
    echo "error: the proxy saw $requests requests for ${begun:-?} navigations" | tee -a "$out"
    status=1
  fi
else
  echo "error: the loopback proxy wrote no summary" | tee -a "$out"
  status=1
fi

bench_finish
trap - EXIT
echo "soak times: set-up $((t_setup - t0)) s, in-process phases $((t_b - t_a)) s, warning boxes $((t_c - t_b)) s, total $((t_c - t0)) s; output kept in $out" | tee -a "$out"
exit "$status"
