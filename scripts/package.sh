#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [BUILD_DIR] (default build-package).
# A Release build for the prefix /usr without tests and benchmarks (so without the tests' click hook),
# with all of Debian's hardening flags, packed by CPack. Progress goes to standard error; the one line on
# standard output, the last printed, is the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-package}")
"$root/scripts/setup.sh" >&2

cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
# A warning of a newer compiler must not keep an administrator from building the package.
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DHALCYRA_TESTS=OFF -DHALCYRA_BENCH=OFF -DHALCYRA_FUZZ=OFF -DHALCYRA_SANITIZE=OFF -DHALCYRA_GUI=ON \
  -DHALCYRA_WERROR=OFF \
  "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >&2

# The scripted clicks are for the screenshots of a test build only.
if grep -q HALCYRA_CLICK_HOOK "$build/compile_commands.json"; then
  echo "package: the click hook is compiled in; the package must be built without the tests" >&2
  exit 1
fi

rm -f "$build"/halcyra_*.deb
(cd "$build" && cpack -G DEB) >&2
debs=("$build"/halcyra_*.deb)
[ -f "${debs[0]}" ] || { echo "package: CPack made no package" >&2; exit 1; }
echo "${debs[0]}"
