#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots: Halcyra on a private X server, fed by the central-station
# simulator on loopback port 8000, collecting into a fresh prefix without the data manager.
#
#   ./scripts/screenshots.sh [BUILD_DIR]     (default build-test; builds halcyra and cs-sim there)
#
# Each window is opened as a user opens it: the dialogs through their buttons, clicked by the program
# itself from HALCYRA_CLICK (button object names, comma-separated, 1.5 s apart; "-" waits one more pause).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
out="$root/docs/screenshots"

if [ "${HALCYRA_SCREENSHOTS_INSIDE:-}" != 1 ]; then
  cmake --build "$build" --target halcyra cs-sim
  export HALCYRA_SCREENSHOTS_INSIDE=1
  # A session bus of its own: Halcyra looks for the data manager there even when told to run without it.
  exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- "$0" "$build"
fi

work=$(mktemp -d /tmp/halcyra-screenshots.XXXXXX)
mkdir -p "$work/prefix" "$work/runtime" "$out"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb LANG=C.UTF-8
sim_pid="" app_pid=""
cleanup() {
  for pid in $app_pid $sim_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ -s "$work/halcyra.err" ]; then echo "screenshots: halcyra said:" >&2; tail -n 20 "$work/halcyra.err" >&2; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A fresh registry folder $1 for a run; $2: collect as soon as data arrive (1) or not (0); $3: Automatic
# (1: every parameter is collected, 0: the parameter dialog shows its lists).
write_registry() {
  mkdir -p "$1"
  cat > "$1/HKEY_CURRENT_USER.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\SOFTWARE\\Tovarin\\Quarzel\\External Collect\\1.0\\Halcyra]
"DataSourceIsCentralStation"=dword:00000001
"IsAddress"=dword:00000001
"IPString"="127.0.0.1"
"AutoStart"=dword:0000000$2
"AutoCreate"=dword:00000001
"EnableLogfile"=dword:00000001
"DebugFolder"="C:\\\\TEMP\\\\"
"Automatic"=dword:0000000$3
REG
}
log="$work/prefix/drive_c/TEMP/Halcyra Logfile.txt"

# The simulator prints its port first; a port already taken ends the script here.
"$build/tools/cs-sim/cs-sim" --listen 127.0.0.1 --port 8000 --beds 4 --rate 1 --aperiodic-every 20 \
  >"$work/cs-sim.out" 2>"$work/cs-sim.err" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/cs-sim.out" ] && break; sleep 0.1; done
[ -s "$work/cs-sim.out" ] || { echo "screenshots: cs-sim could not listen on 127.0.0.1:8000" >&2; cat "$work/cs-sim.err" >&2; exit 1; }

# The id of the first top-level window whose title begins with $1, waiting up to $2 seconds.
window_id() {
  local id
  for _ in $(seq $(( $2 * 10 ))); do
    id=$(xwininfo -root -tree | grep -F "\"$1" | awk '{print $1}' | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

shot() {  # file, title prefix, seconds to wait for the window, seconds to let it settle
  local id
  if ! id=$(window_id "$2" "$3"); then
    echo "screenshots: no window \"$2\"; $1 not taken" >&2
    return 1
  fi
  sleep "$4"
  import -window "$id" "$out/$1"
  echo "screenshots: $out/$1"
}

start_halcyra() {  # registry folder, buttons to click
  HALCYRA_CLICK="$2" "$build/src/app/halcyra" NOVELGARD --registry "$1" --prefix "$work/prefix" \
    2>>"$work/halcyra.err" &
  app_pid=$!
}

stop_halcyra() {
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

# The first run: the census fills, each new patient is announced, collection starts by itself. One bed's
# patient (cs-sim's seed gives the same patients every time) finds every name its file may take held by a
# folder, so its row shows how a patient whose values cannot be written looks.
write_registry "$work/collecting" 1 1
blocked="$work/prefix/drive_c/KVD/DATA/22048897MR"
mkdir -p "$blocked/Halcyra.pil"
for k in $(seq 99); do mkdir -p "$blocked/Halcyra$k.pil"; done
start_halcyra "$work/collecting" ""
shot new-patient.png "New Patient" 20 0.3 || true
for _ in $(seq 300); do grep -q "Connected and collecting" "$log" 2>/dev/null && break; sleep 0.1; done
shot main-window.png "Central Station Data Client" 10 13 || true
stop_halcyra

# The same window in German: the data manager's "Language" setting (1031) chooses the module built beside
# the program. The patients exist from the first run; the blocked one shows its warning in German.
write_registry "$work/german" 1 1
cat >>"$work/german/HKEY_CURRENT_USER.reg" <<'REG'

[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Velgard\2.0\General]
"Language"=dword:00000407
REG
rm -f "$log"
start_halcyra "$work/german" ""
for _ in $(seq 300); do grep -q "Connected and collecting" "$log" 2>/dev/null && break; sleep 0.1; done
shot main-window-de.png "Zentralstation-Datenclient" 10 13 || true
stop_halcyra

# The dialogs, each in a run of its own (one instance at a time), connected but not collecting, so that
# every button is there. File, title, buttons to click, seconds to let the dialog settle (a click that
# follows the one opening the dialog comes 1.5 s later).
write_registry "$work/connected" 0 0
while IFS='|' read -r file title clicks settle; do
  [ -n "$file" ] || continue
  start_halcyra "$work/connected" "$clicks"
  shot "$file" "$title" 15 "$settle" || true
  stop_halcyra
done <<'DIALOGS'
select-parameters.png|Select Parameters|-,-,btnParameters|1
collect-interval.png|Set Collect Interval|-,-,btnInterval|1
data-server.png|Select Data Server|btnServerSelect|1
data-server-advanced.png|Select Data Server|btnServerSelect,btnAdvanced|3
DIALOGS
