#!/usr/bin/env bash
# A PDF of each example checklist, with the pages the editor prints:
#   tools/print-examples.sh [out-folder [A4|A5|Letter]]
# Defaults: $TMPDIR/vellorin-examples (/tmp/... without TMPDIR) and A4. Installs what is missing,
# builds the helper checklist-pdf (tools/pdf/) in the editor's build folder build/, and prints
# each file of examples/ to <out-folder>/<name>.pdf.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-${TMPDIR:-/tmp}/vellorin-examples}")"
paper="${2:-A4}"
"$root/tools/deps.sh"
cd "$root"
cmake --preset editor >/dev/null
nice -n 10 cmake --build build --target checklist-pdf -j"$(nproc)" >/dev/null
mkdir -p "$out"
for example in examples/*.xml; do
    build/tools/pdf/checklist-pdf --paper "$paper" "$example" "$out/$(basename "$example" .xml).pdf"
done
