#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it. Arguments go to the editor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build" --target vellorin -j"$(nproc)"
exec "$root/build/app/vellorin" "$@"
