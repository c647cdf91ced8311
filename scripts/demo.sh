#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: the stand-in data manager and Halcyra as a service
# on a private D-Bus session, a fresh demo prefix and registry, Halcyra's log on the terminal, until Ctrl-C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-demo"

if [ "${1:-}" = "--inside-session" ]; then
  demo=$2
  "$build/tools/velgard-standin/velgard-standin" --output "$demo/data-manager-calls.jsonl" &
  standin=$!
  trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetNameOwner string:com.tovarin.Velgard >/dev/null 2>&1 && break
    sleep 0.1
  done
  "$build/src/app/halcyra" --service --registry "$demo/registry" --prefix "$demo/prefix" || true
  exit 0
fi

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYRA_TESTS=OFF -DHALCYRA_BENCH=OFF

demo=$(mktemp -d /tmp/halcyra-demo.XXXXXX)
mkdir -p "$demo/registry" "$demo/prefix" "$demo/runtime"
chmod 700 "$demo/runtime"
export XDG_RUNTIME_DIR="$demo/runtime"
cat > "$demo/registry/HKEY_CURRENT_USER.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]
"EnableLogfile"=dword:00000001
"DebugFolder"="C:\\TEMP\\"
REG
echo "demo: registry in $demo/registry, drive C: in $demo/prefix/drive_c," >&2
echo "demo: data-manager calls in $demo/data-manager-calls.jsonl; Ctrl-C ends the run" >&2
exec dbus-run-session -- "$0" --inside-session "$demo"
