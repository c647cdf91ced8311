#!/usr/bin/env bash
# Builds every fuzz target with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (the libraries
# under test instrumented too) and runs each for a while, starting from its corpus in fuzz/corpus.
#
#   scripts/fuzz.sh [-t SECONDS] [-d BUILD_DIR] [TARGET...]
#
# SECONDS per target (default 60); all targets unless some are named. New inputs go into a working corpus
# in BUILD_DIR/fuzz-work/<target>/corpus (fuzz/corpus is left alone: copy what is worth keeping), findings
# into BUILD_DIR/fuzz-work/<target>/findings. Prints executions, coverage and findings per target, and
# exits non-zero when any target found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
build="$root/build-fuzz"
while getopts "t:d:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    d) build=$OPTARG ;;
    *) echo "usage: $0 [-t SECONDS] [-d BUILD_DIR] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Optimised for speed but with assertions kept.
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DHALCYRA_FUZZ=ON -DHALCYRA_TESTS=OFF -DHALCYRA_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
found=0
summary=()
while read -r name binary corpus; do
  if [[ $# -gt 0 ]] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  work="$build/fuzz-work/$name"
  mkdir -p "$work/corpus" "$work/findings"
  if [[ -d $corpus ]]; then cp -rn "$corpus/." "$work/corpus/"; fi
  log="$work/last-run.log"
  echo "== $name: ${seconds}s"
  # One process at a time: the machine is shared.
  "$binary" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=1024 -timeout=10 \
    -artifact_prefix="$work/findings/" "$work/corpus" >"$log" 2>&1 || true
  # A run that stops on its seed corpus prints no coverage line: grep then fails, which must not end the script.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  findings=$(find "$work/findings" -type f | wc -l)
  if [[ $findings -gt 0 ]] || grep -q 'ERROR: \(AddressSanitizer\|libFuzzer\|UndefinedBehaviorSanitizer\)\|runtime error:' "$log"; then
    found=1
    echo "   findings in $work/findings, log $log"
  fi
  summary+=("$(printf '%-22s %12s %8s %8s %8s' "$name" "${runs:-?}" "${coverage:-?}" "${features:-?}" "$findings")")
done <"$build/fuzz/targets.txt"

printf '\n%-22s %12s %8s %8s %8s\n' target executions edges features findings
printf '%s\n' "${summary[@]}"
exit $found
