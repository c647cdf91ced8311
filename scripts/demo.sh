#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: cs-sim streaming three beds, the stand-in data manager
# and Halcyra as a service collecting from cs-sim, on a private D-Bus session bus with a fresh demo prefix and
# registry. Shows Halcyra's log and every value the data manager is told of, until Ctrl-C.
#   scripts/demo.sh [--beds N] [--interval SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
self="$root/scripts/demo.sh"
build="$root/build-demo"
beds=3
interval=10

# Reads the stand-in's JSON lines and prints one line per patient and time, as the data manager hears of
# the values, and the series it is told are closed.
if [ "${1:-}" = "--show-values" ]; then
  text() { if [[ $line =~ \"$1\":\"([^\"]*)\" ]]; then printf '%s' "${BASH_REMATCH[1]}"; fi; }
  number() { if [[ $line =~ \"$1\":([^,}]*) ]]; then printf '%s' "${BASH_REMATCH[1]}"; fi; }
  key="" out=""
  flush() {
    if [ -n "$out" ]; then printf 'data manager: %s\n' "${out%,}"; fi
    key="" out=""
  }
  while IFS= read -r line; do
    method=$(text method) time=$(text timeText)
    result=$(text result)
    failed=""
    [ "$result" = ok ] || failed=" (failed: $result)"
    case $method in
      AddValue)
        patient=$(text patientId)
        [ "$key" = "$patient $time" ] || { flush; key="$patient $time" out="${time#*T} $patient"; }
        out+=" $(text label) $(number value) $(text unit)$failed," ;;
      AddDelimiter)
        [ "$key" = "closed $time" ] || { flush; key="closed $time" closed=0; }
        closed=$((closed + 1))
        out="${time#*T} series closed: $closed$failed" ;;
      SetCollectorState) flush; printf 'data manager: collector state %s%s\n' "$(number state)" "$failed" ;;
      *) flush ;;
    esac
  done
  flush
  exit 0
fi

# Inside the private bus: the three programs. The helpers run in sessions of their own, so that Ctrl-C
# reaches Halcyra only: it closes its series while the data manager still answers, and then the helpers end.
if [ "${1:-}" = "--inside-session" ]; then
  demo=$2 beds=$3
  cd "$demo"
  setsid "$build/tools/velgard-standin/velgard-standin" --output "$demo/data-manager-calls.jsonl" \
    >/dev/null 2>&1 &
  standin=$!
  setsid "$build/tools/cs-sim/cs-sim" --port 0 --beds "$beds" --seed "$RANDOM" \
    >"$demo/cs-sim.port" 2>"$demo/cs-sim.log" &
  sim=$!
  # It ends with the stand-in, after its last lines.
  setsid bash -c 'tail -n +1 -F --pid="$3" "$1" 2>/dev/null | "$2" --show-values' _ \
    "$demo/data-manager-calls.jsonl" "$self" "$standin" &
  values=$!
  for _ in $(seq 200); do
    [ -s "$demo/cs-sim.port" ] &&
      dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetNameOwner string:com.tovarin.Velgard >/dev/null 2>&1 && break
    sleep 0.1
  done
  port=$(head -n 1 "$demo/cs-sim.port")
  echo "demo: cs-sim streams $beds beds on 127.0.0.1:$port"
  # The pipeline ends after sed has passed on Halcyra's last line; halcyra.pid names Halcyra for Ctrl-C.
  sh -c 'echo $$ >"$1/halcyra.pid"; exec "$2" --service --cs-port "$3" --registry "$1/registry" --prefix "$1/prefix"' _ \
    "$demo" "$build/src/app/halcyra" "$port" 2>&1 | sed -u 's/^/halcyra: /' &
  halcyra=$!
  wait "$halcyra" || true
  kill -TERM "$standin" "$sim" 2>/dev/null || true
  wait "$standin" "$sim" 2>/dev/null || true
  wait "$values" 2>/dev/null || true
  exit 0
fi

while [ $# -gt 0 ]; do
  case $1 in
    --beds) beds=$2; shift 2 ;;
    --interval) interval=$2; shift 2 ;;
    *) echo "usage: scripts/demo.sh [--beds N] [--interval SECONDS]" >&2; exit 2 ;;
  esac
done

"$root/scripts/setup.sh"
echo "demo: building in $build ..."
log=$(mktemp /tmp/halcyra-demo-build.XXXXXX)
if ! "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DHALCYRA_TESTS=OFF \
  -DHALCYRA_BENCH=OFF >"$log" 2>&1; then
  cat "$log" >&2
  echo "demo: the build failed (output above, also in $log)" >&2
  exit 1
fi
rm -f "$log"

demo=$(mktemp -d /tmp/halcyra-demo.XXXXXX)
mkdir -p "$demo/registry" "$demo/prefix" "$demo/runtime"
chmod 700 "$demo/runtime"
export XDG_RUNTIME_DIR="$demo/runtime"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]' \
  '"DataSourceIsCentralStation"=dword:00000001' '"IsAddress"=dword:00000001' '"IPString"="127.0.0.1"' \
  '"AutoStart"=dword:00000001' '"AutoCreate"=dword:00000001' \
  "\"Interval\"=dword:$(printf '%08x' "$interval")" \
  '"EnableLogfile"=dword:00000001' '"DebugFolder"="C:\\TEMP\\"' >"$demo/registry/HKEY_CURRENT_USER.reg"
echo "demo: Halcyra collects every $interval s into $demo; Ctrl-C ends the run"

# The private bus runs in a session of its own, so Ctrl-C does not take it down under Halcyra; the bus
# daemon's complaint that it may not raise its file limit says nothing about the demo.
setsid dbus-run-session -- "$self" --inside-session "$demo" "$beds" \
  2> >(trap '' INT; exec grep --line-buffered -v 'Failed to set fd limit' >&2) &
session=$!
# Before it stops, the service tells what it collected for each patient.
stop() {
  echo "demo: halcyra --status, before the service stops:"
  "$build/src/app/halcyra" --status --registry "$demo/registry" | sed 's/^/  /' || true
  [ -s "$demo/halcyra.pid" ] && kill -TERM "$(cat "$demo/halcyra.pid")" 2>/dev/null || true
}
trap stop INT TERM
while kill -0 "$session" 2>/dev/null; do wait "$session" || true; done
trap - INT TERM

data="$demo/prefix/drive_c/KVD/DATA"
first=$(find "$data" -name Halcyra.pil 2>/dev/null | sort | head -n 1)
echo "demo: the patient files are in $data/<patient>/; look at one with:" \
  "$build/tools/halcyra-pil/halcyra-pil dump ${first:-$data/<patient>/Halcyra.pil}; plot:" \
  "$build/tools/halcyra-pil/halcyra-pil plot ${first:-$data/<patient>/Halcyra.pil} --output plot.svg"
