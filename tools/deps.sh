#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when missing.
set -euo pipefail

packages=(
    g++ cmake make
    qtbase5-dev librapidxml-dev
    libgtest-dev libbenchmark-dev
    libxml2-utils xvfb xauth x11-utils
    xdotool imagemagick fonts-dejavu-core
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
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
