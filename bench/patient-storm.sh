#!/usr/bin/env bash
# A storm of new patients: cs-sim streams one message for each of N beds (N distinct patient IDs) as fast as
# Halcyra takes them, into `halcyra --service` collecting with "AutoCreate" on, on loopback and without the
# data manager. Build Release first:
#   scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DHALCYRA_TESTS=OFF
#   bench/patient-storm.sh [BUILD] [--patients N] [--limit SECONDS]
# Prints how long Halcyra was busy, the census rows and patient folders made, how often the per-user hive
# file was replaced (its renames, traced with strace), the messages received with the rate, and how long
# SIGTERM took. A run still busy after --limit seconds (default 300) is ended there and reported as it
# stands (the rate then counts the census rows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build="$root/build-release"
[ $# -gt 0 ] && [ "${1#--}" = "$1" ] && { build=$1; shift; }
patients=5000 limit=300
while [ $# -gt 0 ]; do
  case $1 in
    --patients) patients=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    *) echo "usage: bench/patient-storm.sh [BUILD] [--patients N] [--limit SECONDS]" >&2; exit 2 ;;
  esac
done
command -v strace >/dev/null || { echo "strace is needed to count the hive writes" >&2; exit 1; }

work=$(mktemp -d /tmp/halcyra-storm.XXXXXX)
mkdir -p "$work/runtime" "$work/registry" "$work/prefix"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]' \
  '"DataSourceIsCentralStation"=dword:00000001' '"IsAddress"=dword:00000001' '"IPString"="127.0.0.1"' \
  '"AutoStart"=dword:00000001' '"AutoCreate"=dword:00000001' '"Interval"=dword:0000000a' \
  '"NoVelgard"=dword:00000001' >"$work/registry/HKEY_CURRENT_USER.reg"

"$build/tools/cs-sim/cs-sim" --port 0 --beds "$patients" --rate 0 --count "$patients" --wait-client \
  --aperiodic-every 0 >"$work/port" 2>"$work/cs-sim.log" &
sim=$!
while [ ! -s "$work/port" ]; do sleep 0.05; done
# Only renames are traced (with a seccomp filter, so the other system calls run at full speed).
strace -f --seccomp-bpf -e trace=rename,renameat,renameat2 \
  -o "$work/renames" "$build/src/app/halcyra" --service --cs-port "$(head -n 1 "$work/port")" --registry "$work/registry" --prefix "$work/prefix" \
  2>"$work/halcyra.log" &
halcyra=$!
until grep -q "connected" "$work/cs-sim.log"; do sleep 0.05; done
start=$(date +%s.%N)
# Busy while cs-sim still sends or Halcyra's CPU time still grows.
pid=$(pgrep -P "$halcyra" -x halcyra || echo "$halcyra")
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
last=$(cpu) end=$start cut=0
while sleep 0.5; do
  now=$(cpu)
  if kill -0 "$sim" 2>/dev/null || [ "$now" -ne "$last" ]; then end=$(date +%s.%N); fi
  [ "$now" -ne "$last" ] || kill -0 "$sim" 2>/dev/null || break
  last=$now
  awk -v s="$start" -v n="$(date +%s.%N)" -v l="$limit" 'BEGIN { exit !(n - s > l) }' && { cut=1; break; }
done
# Where the storm stands when the run ends: the patients the census took (one per message below its
# limit), the patient folders and the hive writes so far.
stopAt=$(date +%s.%N)
hiveWrites=$(grep -c 'HKEY_CURRENT_USER\.reg\.tmp' "$work/renames" || true)
rows=$(grep -c '^"Patient[0-9]*"=' "$work/registry/HKEY_CURRENT_USER.reg" || true)
folders=$( (find "$work/prefix/drive_c/KVD/DATA" -mindepth 1 -maxdepth 1 -type d 2>/dev/null || true) | wc -l)
kill -TERM "$pid"
# A run that does not end within a minute of SIGTERM is killed and reported so.
for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
stopped=$(date +%s.%N)
if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; stopped=""; fi
wait "$halcyra" || true
kill -TERM "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true

received=$(sed -n 's/.*Central station: \([0-9]*\) messages received.*/\1/p' "$work/halcyra.log" | tail -n 1)
awk -v sent="$patients" -v received="${received:-?}" -v start="$start" -v end="$end" -v writes="$hiveWrites" \
  -v rows="$rows" -v folders="$folders" -v stopAt="$stopAt" -v stopped="$stopped" -v cut="$cut" 'BEGIN {
    seconds = end - start
    # Cut off: what was received after the cut does not count.
    handled = cut || received == "?" ? rows : received
    printf "patients %d  busy %.1f s  census rows %d  patient folders %d  hive writes %d (%.1f per row)  ",
      sent, seconds, rows, folders, writes, writes / (rows ? rows : 1)
    printf "messages received %s  %.1f messages/s%s  SIGTERM %s\n", received, handled / seconds,
      cut ? " (census rows until the cut)" : "",
      stopped == "" ? "not done after 60 s, killed" : sprintf("took %.1f s", stopped - stopAt)
  }'
grep -i "census" "$work/halcyra.log" | head -n 5 || true
rm -rf "$work"
