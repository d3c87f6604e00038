#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what an installation holds: the desktop entry, the AppStream metadata and the manual
# pages against their tools, an install into a scratch folder file by file against the list
# below, and the Debian package with lintian. Run after a build of $VESK_BUILD_DIR (build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VESK_BUILD_DIR:-build}
failed=0
fail() { echo "check_install: $*" >&2; failed=1; }

echo "== desktop entry, AppStream metadata, manual pages"
desktop-file-validate data/vesk-controller.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic data/io.github.vesk.Controller.metainfo.xml ||
  fail "appstreamcli validate"
for page in docs/vesk-controller.1 docs/vesk-cli.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || fail "$page: $warnings"
done

echo "== install into a scratch folder"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
expected=(
  usr/bin/vesk-controller
  usr/bin/vesk-cli
  usr/libexec/vesk/vesk-cli-sound
  usr/libexec/vesk/vesk-cli-preview
  usr/share/applications/vesk-controller.desktop
  usr/share/metainfo/io.github.vesk.Controller.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/vesk-controller.svg
  usr/share/man/man1/vesk-controller.1.gz
  usr/share/man/man1/vesk-cli.1.gz
  usr/share/doc/vesk/README.md
  usr/share/doc/vesk/copyright
  usr/share/doc/vesk/changelog.gz
  usr/share/doc/vesk/examples/vesk-beacon.service
  usr/share/doc/vesk/examples/vesk-plan.service
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/vesk-controller.png")
done
for example in examples/*.txt; do
  expected+=("usr/share/doc/vesk/examples/${example#examples/}")
done
actual=$(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [[ "$actual" != "$wanted" ]]; then
  fail "installed files differ from the list (< missing, > not listed):"
  diff <(echo "$wanted") <(echo "$actual") >&2 || true
fi
for program in usr/bin/vesk-controller usr/bin/vesk-cli usr/libexec/vesk/vesk-cli-sound \
               usr/libexec/vesk/vesk-cli-preview; do
  [[ -x "$stage/$program" ]] || fail "$program is not executable"
done
"$stage/usr/bin/vesk-controller" --version >/dev/null || fail "installed vesk-controller --version"
"$stage/usr/bin/vesk-cli" render examples/tone_ladder.txt "$stage/ladder.wav" >/dev/null 2>&1 ||
  fail "installed vesk-cli render"

echo "== Debian package"
rm -f "$build"/vesk_*.deb
cmake --build "$build" --target package >/dev/null
deb=$(ls "$build"/vesk_*.deb)
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
# Errors fail the check; the warnings are listed.
lintian --fail-on error --no-tag-display-limit "$deb" || fail "lintian: errors in $deb"

exit $failed
