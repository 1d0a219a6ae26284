#!/usr/bin/env bash
# Builds the Debian package (with its test run and lintian) into a temporary folder outside the
# tree, then tries the packaged program itself: its desktop entry and metainfo pass their
# validators, and, unpacked from the .deb, it shows its window under Xvfb and loads an example
# checklist through real X input events.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"$root/tools/build-deb.sh" "$out/deb"
"$root/tools/check-package.sh" "$(ls "$out"/deb/vellorin_*.deb)"
