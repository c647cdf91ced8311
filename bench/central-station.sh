#!/usr/bin/env bash
# The central-station path as a site runs it: cs-sim -> halcyra --service -> patient files and the stand-in
# data manager, on a private D-Bus session bus and loopback. Build Release first:
#   scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DHALCYRA_TESTS=OFF
#   bench/central-station.sh [BUILD] [--beds N] [--paced-seconds S] [--flood-count N] [--soak-seconds S]
#                            [--desktop-seconds S] [--no-data-manager] [--data-manager-delay MS]
#                            [--compare-data-manager]
# Runs, each with a fresh service: 64 beds paced at one message per bed per second; then as fast as cs-sim
# can send (--rate 0); optionally a long paced run for the resident memory, and a paced run of the desktop
# program with its window shown on a private X server (Xvfb). With --no-data-manager Halcyra runs with
# NOVELGARD: no D-Bus call per value, the same work as the floor's. For each it prints the messages
# cs-sim sent, the messages Halcyra received (its counter line at the end of the run), messages per second,
# Halcyra's CPU time per message (from /proc/PID/stat) and its resident memory at the end.
# The paced run's recorded stream is then imported (halcyra --import) on fresh settings and a fresh data
# folder, on the same bus with the same data manager; its line gives the import's CPU time per message, raw
# and less the start-up (an import of the capture's first message alone), and the service/import ratio.
# --data-manager-delay MS makes the stand-in answer every call MS milliseconds late; a paced run then also
# prints how far the newest point fell behind the clock and how long `halcyra --status` took, asked every
# 5 s, and how long the service took to end after SIGTERM. --compare-data-manager runs the paced service
# twice, without and with the data manager, and prints the CPU ratio of the two.
# Each figure comes with its floor from the same run: bench/floor/FloorCollector.cpp (floor-collector) takes
# the same stream from its own cs-sim (the paced one beside the service, the flood after it) or reads the
# same capture, frames it, takes the few fields it needs and appends one record per written value to files
# it keeps open; the "floor" lines give its figures and the program's ratio to them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--inside-session" ]; then
  shift
  build=$1 work=$2 mode=$3 amount=$4 beds=$5 import=${6:-}
  tick=$(getconf CLK_TCK)
  # --no-data-manager: Halcyra runs with NOVELGARD and makes no D-Bus call, as the floor makes none.
  withoutDataManager=()
  [ "${HALCYRA_BENCH_NOVELGARD:-}" = 1 ] && withoutDataManager=(NOVELGARD)
  delay=()
  [ -n "${HALCYRA_BENCH_DELAY:-}" ] && delay=(--delay "$HALCYRA_BENCH_DELAY")
  "$build/tools/velgard-standin/velgard-standin" --output "$work/calls.jsonl" "${delay[@]}" >/dev/null 2>&1 &
  standin=$!
  # A run that fails leaves none of its processes behind.
  running=("$standin")
  trap 'kill -TERM "${running[@]}" 2>/dev/null || true' EXIT
  for _ in $(seq 200); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetNameOwner string:com.tovarin.Velgard >/dev/null 2>&1 && break
    sleep 0.1
  done
  # Fresh settings (the same for every run) and a fresh data folder under the given names.
  fresh() {
    rm -rf "${work:?}/$1" "${work:?}/$2"
    mkdir -p "$work/$1" "$work/$2"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]' \
      '"DataSourceIsCentralStation"=dword:00000001' '"IsAddress"=dword:00000001' '"IPString"="127.0.0.1"' \
      '"AutoStart"=dword:00000001' '"AutoCreate"=dword:00000001' '"Interval"=dword:0000000a' \
      >"$work/$1/HKEY_CURRENT_USER.reg"
  }
  fresh registry prefix
  # The desktop program writes its counter line to its log file only.
  [ "$mode" = desktop ] && printf '%s\r\n' '"EnableLogfile"=dword:00000001' >>"$work/registry/HKEY_CURRENT_USER.reg"
  floor="$build/bench/floor-collector"
  # The floor's own cs-sim and collector, on the same stream as the service's run; prints its result line.
  floorStart() {
    rm -rf "${work:?}/floor" "$work/floor.port"
    mkdir -p "$work/floor"
    "$build/tools/cs-sim/cs-sim" --port 0 --beds "$beds" --wait-client "$@" >"$work/floor.port" \
      2>"$work/floor-sim.log" &
    floorSim=$!
    running+=("$floorSim")
    while [ ! -s "$work/floor.port" ]; do sleep 0.05; done
    "$floor" receive "$(head -n 1 "$work/floor.port")" "$work/floor" >"$work/floor.out" &
    floorPid=$!
    running+=("$floorPid")
  }
  floorEnd() {
    wait "$floorSim" || { echo "cs-sim for the floor failed: $(cat "$work/floor-sim.log")" >&2; exit 1; }
    wait "$floorPid" || { echo "floor-collector failed" >&2; exit 1; }
  }
  # ratio NAME FIGURE FLOOR_LINE: prints the floor's line and the program's figure against it.
  floorLine() {
    awk -v name="$1" -v figure="$2" -v line="$3" 'BEGIN {
      split(line, f, " ")
      floorUs = f[8]
      printf "floor  %-6s %8d messages  %8d values  %7.2f us CPU/message   program/floor %.1fx\n",
        name, f[2], f[4], floorUs, (floorUs > 0 ? figure / floorUs : 0)
    }'
  }

  # cs-sim holds its messages until Halcyra is connected, so every message it sends is one Halcyra can get.
  # The flood sends exactly --count messages; the paced run is recorded and its start markers counted.
  if [ "$mode" = flood ]; then
    simArgs=(--rate 0 --count "$amount")
  elif [ "$mode" = desktop ]; then
    simArgs=(--rate 1 --duration "$amount" --record "$work/capture")
  else
    simArgs=(--rate 1 --duration "$amount" --record "$work/capture")
  fi
  rm -f "$work/port" "$work/capture"
  "$build/tools/cs-sim/cs-sim" --port 0 --beds "$beds" --wait-client "${simArgs[@]}" \
    >"$work/port" 2>"$work/cs-sim.log" &
  sim=$!
  running+=("$sim")
  while [ ! -s "$work/port" ]; do sleep 0.05; done
  # The paced floor runs beside the service (both mostly wait); the flood's runs after it, not to share the CPU.
  [ "$mode" != flood ] && floorStart --rate 1 --duration "$amount"
  if [ "$mode" = desktop ]; then
    # The desktop program with its window shown, on a private X server of its own.
    Xvfb -displayfd 4 -screen 0 1024x768x24 4>"$work/display" 2>/dev/null &
    xserver=$!
    running+=("$xserver")
    while [ ! -s "$work/display" ]; do sleep 0.05; done
    DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb "$build/src/app/halcyra" \
      --cs-port "$(head -n 1 "$work/port")" --registry "$work/registry" --prefix "$work/prefix" \
      "${withoutDataManager[@]}" 2>"$work/halcyra.log" &
  else
    "$build/src/app/halcyra" --service --cs-port "$(head -n 1 "$work/port")" \
      --registry "$work/registry" --prefix "$work/prefix" "${withoutDataManager[@]}" 2>"$work/halcyra.log" &
  fi
  halcyra=$!
  running+=("$halcyra")
  cpu() { awk '{ print $14 + $15 }' "/proc/$halcyra/stat"; }
  # Start-up (the data manager link, the census) is not part of the per-message cost.
  until grep -q "connected" "$work/cs-sim.log"; do sleep 0.05; done
  start=$(date +%s.%N) cpu0=$(cpu)
  # Every 5 s: how far the newest point lags the clock, and how long the status answer took.
  if [ "$mode" = paced ]; then
    : >"$work/status.lines"
    (while kill -0 "$sim" 2>/dev/null; do
      sleep 5
      t0=$(date +%s.%N)
      answer=$(timeout 10 "$build/src/app/halcyra" --status --json --registry "$work/registry" 2>/dev/null) || answer=
      t1=$(date +%s.%N)
      printf '%s' "$answer" | python3 -c '
import json, sys, datetime
t0, t1 = float(sys.argv[1]), float(sys.argv[2])
try:
    s = json.load(sys.stdin)
except ValueError:
    print("none", t1 - t0, "-")
    sys.exit()
parse = datetime.datetime.fromisoformat
newest = [parse(p["lastWritten"]) for p in s["patients"] if p["lastWritten"]]
lag = (parse(s["time"]) - max(newest)).total_seconds() if newest else -1
print(lag, t1 - t0, s["dataManager"]["callsFailed"])' "$t0" "$t1"
    done >>"$work/status.lines") &
    watcher=$!
  fi
  wait "$sim" || { echo "cs-sim failed: $(cat "$work/cs-sim.log")" >&2; exit 1; }
  [ -n "${watcher:-}" ] && wait "$watcher"
  running=("$standin" "$halcyra")
  end=$(date +%s.%N) cpu1=$(cpu)
  # Halcyra may still be working through what cs-sim wrote: the run ends when its CPU time stops growing.
  while sleep 0.5; do
    now=$(cpu)
    [ "$now" -ne "$cpu1" ] || break
    end=$(date +%s.%N) cpu1=$now
  done
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$halcyra/status")
  termAt=$(date +%s.%N)
  kill -TERM "$halcyra"
  wait "$halcyra" || true
  termSeconds=$(awk -v a="$termAt" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  running=("$standin")
  # The desktop logs to its log file only; its counter line is there.
  [ "$mode" = desktop ] && cat "$work/prefix/drive_c/TEMP/Halcyra Logfile.txt" >>"$work/halcyra.log" 2>/dev/null
  [ -n "${xserver:-}" ] && { kill -TERM "$xserver" 2>/dev/null; wait "$xserver" 2>/dev/null || true; }
  if [ "$mode" = flood ]; then sent=$amount; else sent=$(tr -cd '\013' <"$work/capture" | wc -c); fi
  received=$(sed -n 's/.*Central station: \([0-9]*\) messages received.*/\1/p' "$work/halcyra.log" | tail -n 1)
  received=${received:-0}
  serviceUs=$(awk -v cpu="$((cpu1 - cpu0))" -v tick="$tick" -v received="$received" \
    'BEGIN { printf "%.3f", cpu / tick * 1e6 / (received ? received : 1) }')
  awk -v mode="$mode" -v beds="$beds" -v sent="$sent" -v received="$received" -v start="$start" \
    -v end="$end" -v us="$serviceUs" -v rss="$rss" 'BEGIN {
      seconds = end - start
      printf "%-6s beds %3d  sent %8d  received %8d  lost %d  %9.1f messages/s  %7.1f us CPU/message  RSS %6.1f MB  (%.1f s)\n",
        mode, beds, sent, received, sent - received, received / seconds, us, rss / 1024, seconds
    }'
  if [ "$mode" = paced ] && [ -s "$work/status.lines" ]; then
    # The first interval has no point yet; lags count from the third look on.
    awk -v delay="${HALCYRA_BENCH_DELAY:-0}" -v term="$termSeconds" '
      { asks++; if ($1 == "none") unanswered++; else if (NR > 2 && $1 > lag) lag = $1
        if ($2 > slowest) slowest = $2; if ($3 != "-") failed = $3 }
      END { printf "paced  data manager answering %d ms late: newest point at most %.0f s behind the clock; --status at most %.2f s (%d asks, %d unanswered); %s calls failed; ended %s s after SIGTERM\n",
              delay, lag, slowest, asks, unanswered, failed, term }' "$work/status.lines"
  fi
  if [ "$mode" = flood ]; then floorStart --rate 0 --count "$amount"; fi
  floorEnd
  floorLine "$mode" "$serviceUs" "$(cat "$work/floor.out")"

  if [ "$import" = import ]; then
    # One import of a capture on fresh settings and a fresh data folder. Its CPU time is the user + system
    # time of the child from getrusage, as bash's `times` reports it for the children it has waited for
    # (millisecond figures): nothing else is started between the two readings. GNU time, when installed,
    # sits between bash and Halcyra only for the peak resident memory; its own CPU time counts in both the
    # run and the start-up run and so drops out of the difference.
    childCpu() { awk 'NR == 2 { split($0, f, /[ms ]+/); printf "%.3f", f[1] * 60 + f[2] + f[3] * 60 + f[4] }' "$1"; }
    timer=()
    [ -x /usr/bin/time ] && timer=(/usr/bin/time -f %M -o "$work/import.rss")
    importRun() {
      fresh import-registry import-prefix
      rm -f "$work/import.rss"
      importStart=$(date +%s.%N)
      times >"$work/times.before"
      "${timer[@]}" "$build/src/app/halcyra" --import "$1" "${withoutDataManager[@]}" --registry "$work/import-registry" \
        --prefix "$work/import-prefix" >"$work/import.out" 2>"$work/import.log" ||
        { echo "halcyra --import $1 failed: $(cat "$work/import.log")" >&2; exit 1; }
      times >"$work/times.after"
      importEnd=$(date +%s.%N)
      importCpu=$(awk -v a="$(childCpu "$work/times.after")" -v b="$(childCpu "$work/times.before")" \
        'BEGIN { printf "%.3f", a - b }')
      importRss=$( [ -s "$work/import.rss" ] && tail -n 1 "$work/import.rss" || echo 0)
      summary=$(grep '^Imported ' "$work/import.out" || true)
      imported=$(sed -n 's/^Imported \([0-9]*\) messages:.*/\1/p' <<<"$summary")
      values=$(sed -n 's/.* \([0-9]*\) values written.*/\1/p' <<<"$summary")
      files=$(find "$work/import-prefix" -type f -name '*.pil' | wc -l)
      # An import that wrote nothing measures nothing. A single message only starts the patient's collection.
      if [ -z "$imported" ] || { [ "$2" = writes ] && { [ "${values:-0}" -eq 0 ] || [ "$files" -eq 0 ]; }; }; then
        echo "halcyra --import $1 wrote no values: summary \"$summary\", $files monitor-data files" \
          "$(cat "$work/import.log")" >&2
        exit 1
      fi
    }
    # The start-up and the end of a run without the messages: an import of the capture's first message.
    perl -0777 -ne 'print $1 if /\A(.*?\x1c\r\n?)/s' "$work/capture" >"$work/capture.first"
    importRun "$work/capture.first" starts
    startCpu=$importCpu
    importRun "$work/capture" writes
    awk -v beds="$beds" -v sent="$sent" -v imported="$imported" -v values="$values" -v files="$files" \
      -v start="$importStart" -v end="$importEnd" -v cpu="$importCpu" -v startCpu="$startCpu" \
      -v rss="$importRss" -v serviceUs="$serviceUs" 'BEGIN {
        seconds = end - start
        raw = cpu * 1e6 / imported
        corrected = imported > 1 ? (cpu - startCpu) * 1e6 / (imported - 1) : raw
        printf "%-6s beds %3d  sent %8d  imported %8d  lost %d  %9.1f messages/s  %7.1f us CPU/message  %7.1f less start-up (%.0f ms)  RSS peak %6.1f MB  (%.1f s; %d values in %d files)\n",
          "import", beds, sent, imported, sent - imported, imported / seconds, raw, corrected, startCpu * 1e3,
          rss / 1024, seconds, values, files
        printf "service/import CPU per message ratio: %.2f (%.2f to the raw import figure)\n",
          serviceUs / corrected, serviceUs / raw
      }'
    # The import's floor reads the same capture; its wall time gives its messages per second.
    rm -rf "${work:?}/floor"
    mkdir -p "$work/floor"
    floorStartTime=$(date +%s.%N)
    floorOut=$("$floor" import "$work/capture" "$work/floor")
    floorEndTime=$(date +%s.%N)
    floorLine import "$(awk -v cpu="$importCpu" -v n="$imported" 'BEGIN { printf "%.3f", cpu * 1e6 / n }')" "$floorOut"
    awk -v start="$importStart" -v end="$importEnd" -v n="$imported" -v fs="$floorStartTime" -v fe="$floorEndTime" \
      'BEGIN { ours = n / (end - start); theirs = n / (fe - fs)
               printf "floor  import %9.1f messages/s   program %9.1f messages/s   floor/program %.1fx\n", theirs, ours, theirs / ours }'
  fi
  kill -TERM "$standin"
  wait "$standin" || true
  running=()
  exit 0
fi

build="$root/build-release"
[ $# -gt 0 ] && [ "${1#--}" = "$1" ] && { build=$1; shift; }
beds=64 paced=60 flood=200000 soak=0 desktop=0 compare=0
while [ $# -gt 0 ]; do
  case $1 in
    --beds) beds=$2; shift 2 ;;
    --paced-seconds) paced=$2; shift 2 ;;
    --flood-count) flood=$2; shift 2 ;;
    --soak-seconds) soak=$2; shift 2 ;;
    --desktop-seconds) desktop=$2; shift 2 ;;
    --no-data-manager) export HALCYRA_BENCH_NOVELGARD=1; shift ;;
    --data-manager-delay) export HALCYRA_BENCH_DELAY=$2; shift 2 ;;
    --compare-data-manager) compare=1; shift ;;
    *) echo "usage: bench/central-station.sh [BUILD] [--beds N] [--paced-seconds S] [--flood-count N] [--soak-seconds S] [--desktop-seconds S] [--no-data-manager] [--data-manager-delay MS] [--compare-data-manager]" >&2; exit 2 ;;
  esac
done
work=$(mktemp -d /tmp/halcyra-cs-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
# In a pipeline, so that the filter has passed on every line of a failure before the script ends on it.
run() {
  { dbus-run-session -- "$0" --inside-session "$build" "$work" "$@" 2>&1 >&3 3>&- |
    { grep -v 'Failed to set fd limit' || true; } >&2 3>&-; } 3>&1
}
if [ "$compare" = 1 ]; then
  # The same paced run without and with the data manager; the import of each capture too.
  HALCYRA_BENCH_NOVELGARD=1 run paced "$paced" "$beds" import | tee "$work/without.out"
  HALCYRA_BENCH_NOVELGARD= run paced "$paced" "$beds" import | tee "$work/with.out"
  us() { awk -v mode="$1" '$1 == mode && $2 == "beds" { for (i = 1; i < NF; i++) if ($(i + 1) == "us") v = $i } END { print v }' "$2"; }
  awk -v a="$(us paced "$work/without.out")" -v b="$(us paced "$work/with.out")" \
      -v c="$(us import "$work/without.out")" -v d="$(us import "$work/with.out")" 'BEGIN {
    printf "data manager: paced service %.1f us CPU/message without, %.1f us with: %.2fx\n", a, b, b / a
    printf "data manager: import %.1f us CPU/message without, %.1f us with: %.2fx\n", c, d, d / c }'
  paced=0
fi
[ "$paced" -gt 0 ] && run paced "$paced" "$beds" import
[ "$flood" -gt 0 ] && run flood "$flood" "$beds"
[ "$soak" -gt 0 ] && run paced "$soak" "$beds"
[ "$desktop" -gt 0 ] && run desktop "$desktop" "$beds"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
# A 0 for a part skips it.
