#!/usr/bin/env bash
# Checks what scripts/wine-test.sh decides about a test program's start, with a
# stand-in loader in Wine's place: it starts again only a program that failed without
# printing anything, keeps every exit code, and says how a failed program ended.
set -uo pipefail
script="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/wine-test.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-in loader: its Nth start does what line N of $work/plan says:
# "silent CODE" (exit without output), "print CODE" (a line, then exit), "segv".
cat >"$work/loader" <<'LOADER'
#!/usr/bin/env bash
dir=$(dirname "$0")
n=$(($(cat "$dir/starts" 2>/dev/null || echo 0) + 1))
echo "$n" >"$dir/starts"
read -r what code < <(sed -n "${n}p" "$dir/plan")
case $what in
  silent) exit "$code" ;;
  print) echo "program ran: $*"; exit "$code" ;;
  segv) echo "program ran"; kill -SEGV $$ ;;
esac
exit 99
LOADER
chmod +x "$work/loader"

failures=0
# name | plan (starts, ';'-separated) | exit code | starts | restart notes | last line
# (with the time as N)
cases=(
  "passes|print 0|0|1|0|program ran: prog.exe --flag"
  "fails with output|print 5|5|1|0|[wine-test] prog.exe ended with exit code 5 after N ms"
  "silent failure, then passes|silent 3;print 0|0|2|1|program ran: prog.exe --flag"
  "silent failure, then fails|silent 3;print 7|7|2|1|[wine-test] prog.exe ended with exit code 7 after N ms"
  "silent failure twice|silent 3;silent 4|4|2|1|[wine-test] prog.exe ended with exit code 4 after N ms"
  "crash after output|segv|139|1|0|[wine-test] prog.exe ended by signal 11 (SEGV) after N ms"
  "silent success|silent 0|0|1|0|"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name plan want_code want_starts want_notes want_last <<<"$c"
  rm -rf "$work/run" "$work/starts"
  tr ';' '\n' <<<"$plan" >"$work/plan"
  out=$(VPARSE_WINE64="$work/loader" VPARSE_RUN_DIR="$work/run" "$script" prog.exe --flag 2>&1)
  code=$?
  starts=$(cat "$work/starts")
  notes=0
  [[ -f $work/run/wine-restarts.log ]] && notes=$(wc -l <"$work/run/wine-restarts.log")
  last=$(tail -n 1 <<<"$out" | sed -E 's/after [0-9]+ ms/after N ms/')
  problems=()
  [[ $code == "$want_code" ]] || problems+=("exit code $code, wanted $want_code")
  [[ $starts == "$want_starts" ]] || problems+=("started $starts times, wanted $want_starts")
  [[ $notes == "$want_notes" ]] || problems+=("$notes restart notes, wanted $want_notes")
  [[ $last == "$want_last" ]] || problems+=("last line '$last', wanted '$want_last'")
  if ((want_notes > 0)) && ! grep -q 'the first start ended with exit code 3 after [0-9]* ms without any output; started again' <<<"$out"; then
    problems+=("no restart line on the output")
  fi
  if ((${#problems[@]})); then
    failures=$((failures + 1))
    printf 'FAIL %s: %s\n--- output:\n%s\n---\n' "$name" "$(IFS=';'; echo "${problems[*]}")" "$out"
  else
    echo "ok   $name"
  fi
done
((failures == 0)) || { echo "$failures case(s) failed"; exit 1; }
