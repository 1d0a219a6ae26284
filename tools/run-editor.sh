#!/usr/bin/env bash
# Installs what building and running the editor needs, builds it (preset "editor", in build/)
# and starts it. Arguments go to the editor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
cd "$root"
cmake --preset editor >/dev/null
cmake --build --preset editor -j"$(nproc)"
exec "$root/build/app/vellorin" "$@"
