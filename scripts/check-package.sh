#!/usr/bin/env bash
# CI: builds the Debian package (scripts/package.sh) and checks it as an administrator would get it:
# its files, its dependencies and control files, stripped programs built for /usr without the test hook,
# and lintian without errors. scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$("$root/scripts/package.sh" "$@" | tail -n 1)
echo "check-package: $deb" >&2

failures=0
fail() {
  echo "check-package: $1" >&2
  failures=$((failures + 1))
}

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
for file in /usr/bin/halcyra /usr/bin/halcyra-pil /usr/bin/halcyra-hl7 \
  /usr/share/man/man1/halcyra.1.gz /usr/share/man/man1/halcyra-pil.1.gz /usr/share/man/man1/halcyra-hl7.1.gz \
  /usr/share/halcyra/halcyra.DEU /usr/lib/systemd/user/halcyra.service \
  /usr/share/applications/halcyra.desktop /etc/xdg/autostart/halcyra.desktop \
  /usr/share/icons/hicolor/scalable/apps/halcyra.svg \
  /usr/share/doc/halcyra/copyright /usr/share/doc/halcyra/changelog.Debian.gz; do
  grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done
if grep -E 'cs-sim|velgard-standin|^/usr/local/|^/usr/bin/halcyra\.DEU$' <<<"$contents"; then
  fail "the package holds test helpers or files in the wrong place (above)"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "check-package: Depends: $depends" >&2
grep -qE '(^|, )dbus-user-session($|[ ,])' <<<"$depends" || fail "Depends lacks dbus-user-session"
grep -qE '(^|, )libqt6[a-z]*6' <<<"$depends" || fail "Depends lacks the Qt 6 libraries (dpkg-shlibdeps)"
[ "$(dpkg-deb -I "$deb" conffiles 2>/dev/null)" = /etc/xdg/autostart/halcyra.desktop ] ||
  fail "the autostart entry in /etc is not the package's one conffile"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
for program in halcyra halcyra-pil halcyra-hl7; do
  file -b "$work/usr/bin/$program" | grep -q ', stripped' || fail "/usr/bin/$program is not stripped"
done
grep -qxF 'ExecStart=/usr/bin/halcyra --service' "$work/usr/lib/systemd/user/halcyra.service" ||
  fail "the unit does not start /usr/bin/halcyra"
# The program's texts, single-byte and UTF-16 (Qt's string literals).
texts=$(strings -a "$work/usr/bin/halcyra"; strings -a -e l "$work/usr/bin/halcyra")
# The language module is looked up in the data folder the program was built for.
grep -qxF /usr/share/halcyra <<<"$texts" || fail "/usr/bin/halcyra does not look in /usr/share/halcyra"
if grep -qF HALCYRA_CLICK <<<"$texts"; then fail "/usr/bin/halcyra has the tests' click hook"; fi
version=$(dpkg-deb -f "$deb" Version)
changelog=$(gzip -dc "$work/usr/share/doc/halcyra/changelog.Debian.gz" | head -n 1)
[[ $changelog == "halcyra ($version) "* ]] ||
  fail "the changelog's latest entry ($changelog) is not the package's version $version (packaging/changelog)"

# lintian's errors fail the check; its warnings are shown.
if ! lintian --fail-on error --tag-display-limit 0 "$deb" >&2; then fail "lintian reports errors (above)"; fi

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures problem(s) with $deb" >&2
  exit 1
fi
echo "check-package: $deb is sound"
