#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when missing.
set -euo pipefail

packages=(
    g++ cmake make
    qtbase5-dev librapidxml-dev
    libgtest-dev libbenchmark-dev
    libxml2-utils xvfb xauth x11-utils
    clang-14 libclang-rt-14-dev clang-tidy-14
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# Another installer may hold the package lock for a while: wait for it instead of failing.
apt=(apt-get -q -o DPkg::Lock::Timeout=600)
$sudo "${apt[@]}" update
$sudo "${apt[@]}" install -y --no-install-recommends "${missing[@]}" </dev/null
