#!/usr/bin/env bash
# Builds the Debian package with lintian into a temporary folder outside the tree, then tries
# the packaged program itself: its desktop entry and metainfo pass their validators, and,
# unpacked from the .deb, it shows its window under Xvfb and loads an example checklist through
# real X input events. The package build leaves its test run out (nocheck): it would run the
# suite that the unit stage runs on the same tree; tools/build-deb.sh alone still runs it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" DEB_BUILD_PROFILES="nocheck ${DEB_BUILD_PROFILES:-}" \
    "$root/tools/build-deb.sh" "$out/deb"
"$root/tools/check-package.sh" "$(ls "$out"/deb/vellorin_*.deb)"
