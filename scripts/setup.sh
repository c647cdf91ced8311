#!/usr/bin/env bash
# Installs the Debian packages Halcyra needs to build, test and run; only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache clang clang-format libclang-rt-14-dev
  # Qt Charts' CMake package needs Qt OpenGL's, which qt6-charts-dev does not pull in.
  qt6-base-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus xvfb xauth imagemagick x11-apps fonts-dejavu-core
  # The service's readiness, state and watchdog notifications to systemd.
  libsystemd-dev pkg-config
  # Tests that step the clock under a running service.
  faketime
  # Tests that read time stamps and cross summer time in a named zone (Europe/Berlin).
  tzdata
  # The Debian package (scripts/package.sh) and its check: dpkg-shlibdeps and dpkg-buildflags, file
  # (CPack finds the programs with it), lintian.
  dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
