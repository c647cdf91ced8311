#!/usr/bin/env bash
# The central-station path as a site runs it: cs-sim -> halcyra --service -> patient files and the stand-in
# data manager, on a private D-Bus session bus and loopback. Build Release first:
#   scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DHALCYRA_TESTS=OFF
#   bench/central-station.sh [BUILD] [--beds N] [--paced-seconds S] [--flood-count N] [--soak-seconds S]
# Runs, each with a fresh service: 64 beds paced at one message per bed per second; then as fast as cs-sim
# can send (--rate 0); optionally a long paced run for the resident memory. For each it prints the messages
# cs-sim sent, the messages Halcyra received (its counter line at the end of the run), messages per second,
# Halcyra's CPU time per message (from /proc/PID/stat) and its resident memory at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--inside-session" ]; then
  shift
  build=$1 work=$2 mode=$3 amount=$4 beds=$5
  tick=$(getconf CLK_TCK)
  "$build/tools/velgard-standin/velgard-standin" --output "$work/calls.jsonl" >/dev/null 2>&1 &
  standin=$!
  for _ in $(seq 200); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetNameOwner string:com.tovarin.Velgard >/dev/null 2>&1 && break
    sleep 0.1
  done
  rm -rf "$work/registry" "$work/prefix"
  mkdir -p "$work/registry" "$work/prefix"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]' \
    '"DataSourceIsCentralStation"=dword:00000001' '"IsAddress"=dword:00000001' '"IPString"="127.0.0.1"' \
    '"AutoStart"=dword:00000001' '"AutoCreate"=dword:00000001' '"Interval"=dword:0000000a' \
    >"$work/registry/HKEY_CURRENT_USER.reg"

  # cs-sim holds its messages until Halcyra is connected, so every message it sends is one Halcyra can get.
  # The flood sends exactly --count messages; the paced run is recorded and its start markers counted.
  if [ "$mode" = flood ]; then
    simArgs=(--rate 0 --count "$amount")
  else
    simArgs=(--rate 1 --duration "$amount" --record "$work/capture")
  fi
  rm -f "$work/port" "$work/capture"
  "$build/tools/cs-sim/cs-sim" --port 0 --beds "$beds" --wait-client "${simArgs[@]}" \
    >"$work/port" 2>"$work/cs-sim.log" &
  sim=$!
  while [ ! -s "$work/port" ]; do sleep 0.05; done
  HALCYRA_TEST_CS_PORT=$(head -n 1 "$work/port") "$build/src/app/halcyra" --service \
    --registry "$work/registry" --prefix "$work/prefix" 2>"$work/halcyra.log" &
  halcyra=$!
  cpu() { awk '{ print $14 + $15 }' "/proc/$halcyra/stat"; }
  # Start-up (the data manager link, the census) is not part of the per-message cost.
  until grep -q "connected" "$work/cs-sim.log"; do sleep 0.05; done
  start=$(date +%s.%N) cpu0=$(cpu)
  wait "$sim" || { echo "cs-sim failed: $(cat "$work/cs-sim.log")" >&2; exit 1; }
  end=$(date +%s.%N) cpu1=$(cpu)
  # Halcyra may still be working through what cs-sim wrote: the run ends when its CPU time stops growing.
  while sleep 0.5; do
    now=$(cpu)
    [ "$now" -ne "$cpu1" ] || break
    end=$(date +%s.%N) cpu1=$now
  done
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$halcyra/status")
  kill -TERM "$halcyra"
  wait "$halcyra" || true
  kill -TERM "$standin"
  wait "$standin" || true
  if [ "$mode" = flood ]; then sent=$amount; else sent=$(tr -cd '\013' <"$work/capture" | wc -c); fi
  received=$(sed -n 's/.*Central station: \([0-9]*\) messages received.*/\1/p' "$work/halcyra.log" | tail -n 1)
  awk -v mode="$mode" -v beds="$beds" -v sent="$sent" -v received="${received:-0}" -v start="$start" \
    -v end="$end" -v cpu="$((cpu1 - cpu0))" -v tick="$tick" -v rss="$rss" 'BEGIN {
      seconds = end - start
      printf "%-6s beds %3d  sent %8d  received %8d  lost %d  %9.1f messages/s  %7.1f us CPU/message  RSS %6.1f MB  (%.1f s)\n",
        mode, beds, sent, received, sent - received, received / seconds, cpu / tick * 1e6 / (received ? received : 1),
        rss / 1024, seconds
    }'
  exit 0
fi

build="$root/build-release"
[ $# -gt 0 ] && [ "${1#--}" = "$1" ] && { build=$1; shift; }
beds=64 paced=60 flood=200000 soak=0
while [ $# -gt 0 ]; do
  case $1 in
    --beds) beds=$2; shift 2 ;;
    --paced-seconds) paced=$2; shift 2 ;;
    --flood-count) flood=$2; shift 2 ;;
    --soak-seconds) soak=$2; shift 2 ;;
    *) echo "usage: bench/central-station.sh [BUILD] [--beds N] [--paced-seconds S] [--flood-count N] [--soak-seconds S]" >&2; exit 2 ;;
  esac
done
work=$(mktemp -d /tmp/halcyra-cs-bench.XXXXXX)
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
run() {
  dbus-run-session -- "$0" --inside-session "$build" "$work" "$@" 2> >(grep -v 'Failed to set fd limit' >&2)
}
[ "$paced" -gt 0 ] && run paced "$paced" "$beds"
[ "$flood" -gt 0 ] && run flood "$flood" "$beds"
[ "$soak" -gt 0 ] && run paced "$soak" "$beds"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
# A 0 for a part skips it.
rm -rf "$work"
