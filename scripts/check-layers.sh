#!/usr/bin/env bash
# Fails when a folder of src/ reaches up: an include from a folder on a higher floor (or from another
# folder of its own floor), or a library linking a library of such a folder.
#
# The floors, from the ground up:
#   platform                          the stand-ins for the operating system: clock, files, registry, text, log
#   settings, savefile, datamanager   the program's settings, the save-file format, the data-manager link
#   params, ui                        the parameter model and its dialogs, the shared widgets
#   patients                          the patient folders and files
#   hl7                               the grammar, the census, the reader and the message handling
#   relay                             the relay between instances
#   app                               the collection cycle, the window, the service and the import
# A folder includes only from its own folder and from floors below it. An interface that a lower floor
# needs from a higher one is declared in the lower floor and implemented above. tests/, bench/, fuzz/ and
# tools/ stand above every floor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

declare -A floor=(
  [platform]=0
  [settings]=1 [savefile]=1 [datamanager]=1
  [params]=2 [ui]=2
  [patients]=3
  [hl7]=4
  [relay]=5
  [app]=6
)

# Whether folder $1 may use folder $2.
may_use() {
  [[ $1 == "$2" ]] || ((floor[$2] < floor[$1]))
}

failures=0
fail() {
  echo "$1" >&2
  failures=$((failures + 1))
}

# Every folder of src/ has its floor.
for dir in src/*/; do
  folder=$(basename "$dir")
  [[ -n ${floor[$folder]+x} ]] || fail "src/$folder: no floor; add it to scripts/check-layers.sh"
done

# Includes.
while IFS=: read -r file line text; do
  from=${file#src/}
  from=${from%%/*}
  to=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^/">]+)\/.*/\1/' <<<"$text")
  [[ -n ${floor[$to]+x} && -n ${floor[$from]+x} ]] || continue
  may_use "$from" "$to" || fail "$file:$line: $from (floor ${floor[$from]}) includes from $to (floor ${floor[$to]})"
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) -print0 | sort -z |
  xargs -0 grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z0-9]+/' || true)

# Libraries: the folder whose CMakeLists.txt defines each one, then the links of each folder's libraries.
declare -A owner
for list in src/*/CMakeLists.txt; do
  folder=$(basename "$(dirname "$list")")
  for lib in $(tr '\n' ' ' <"$list" | grep -oE '(halcyra_core_library|halcyra_qt_library|add_library)\([[:space:]]*halcyra_[a-z0-9_]+' |
    sed -E 's/.*\([[:space:]]*//'); do
    owner[$lib]=$folder
  done
done
for list in src/*/CMakeLists.txt; do
  folder=$(basename "$(dirname "$list")")
  while read -r call; do
    for lib in $(grep -oE 'halcyra_[a-z0-9_]+' <<<"$call"); do
      to=${owner[$lib]:-}
      [[ -n $to ]] || continue
      may_use "$folder" "$to" ||
        fail "$list: $(grep -oE 'halcyra_[a-z0-9_]+' <<<"$call" | head -1) (in $folder, floor ${floor[$folder]}) links $lib (in $to, floor ${floor[$to]})"
    done
  done < <(tr '\n' ' ' <"$list" | grep -oE 'target_link_libraries\([^)]*\)' || true)
done

# The data manager is told from one floor: only app/ (and the link's own folder) uses the link.
while IFS=: read -r file line _; do
  fail "$file:$line: uses the data-manager link outside app/; report through an interface of this floor instead"
done < <(grep -rn --include='*.h' --include='*.cpp' -E '\bTDataManagerLink\b|datamanager/DataManagerLink\.h' src |
  grep -vE '^src/(app|datamanager)/' || true)

if ((failures > 0)); then
  echo "check-layers: upward dependencies: $failures; declare the interface in the lower floor and implement it above" >&2
  exit 1
fi
echo "check-layers: the includes and links of src/ follow the floors"
