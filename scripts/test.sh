#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every
# test on a private D-Bus session bus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build-test"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Debug -DHALCYRA_SANITIZE=ON -DHALCYRA_BENCH=ON

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
cd "$build"
dbus-run-session -- ctest --output-on-failure -j "$(nproc)" --timeout 600
