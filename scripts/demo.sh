#!/usr/bin/env bash
# Installs what is missing, builds, and runs Halcyra as a service on a fresh demo prefix and registry,
# with its log on the terminal, until Ctrl-C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build-demo"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYRA_TESTS=OFF -DHALCYRA_BENCH=OFF

demo=$(mktemp -d /tmp/halcyra-demo.XXXXXX)
mkdir -p "$demo/registry" "$demo/prefix"
cat > "$demo/registry/HKEY_CURRENT_USER.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\SOFTWARE\Tovarin\Quarzel\External Collect\1.0\Halcyra]
"EnableLogfile"=dword:00000001
"DebugFolder"="C:\\TEMP\\"
REG
echo "demo: registry in $demo/registry, drive C: in $demo/prefix/drive_c; Ctrl-C ends the run" >&2
exec "$build/src/app/halcyra" --service --registry "$demo/registry" --prefix "$demo/prefix" NOVELGARD
