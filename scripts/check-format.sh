#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || "$root/scripts/setup.sh"
files=$(git ls-files '*.cpp' '*.h')
if ! out=$(echo "$files" | xargs clang-format --dry-run -Werror 2>&1); then
  echo "$out" | grep -E '^[^ ].*: error:' | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  echo "check-format: run clang-format -i on the files above" >&2
  exit 1
fi
echo "check-format: $(echo "$files" | wc -l) files formatted"
