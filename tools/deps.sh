#!/usr/bin/env bash
# Installs the Debian packages that building and running the editor need, when missing.
# Groups named as arguments add the packages of further tasks:
#   tests          the test stages: unit and GUI tests (pdftotext reads the printed pages),
#                  benchmarks, sanitizers, fuzzers, tidy
#   display        driving the real window on a virtual X display (tools/screenshot.sh)
#   package        building and checking the Debian package (tools/build-deb.sh)
#   package-check  trying the built package on a virtual display (tools/check-package.sh)
#   icon           rendering the icons from their drawing (tools/make-icon.sh)
#   translations   extracting the translatable texts (tools/check-translations.sh)
#   qt6            building and testing on Qt 6 beside Qt 5 (tools/test-qt6.sh)
set -euo pipefail

# fonts-wqy-microhei: printed pages show Chinese, Japanese and Korean texts (DejaVu has none).
packages=(
    g++ cmake make
    qtbase5-dev librapidxml-dev fonts-dejavu-core fonts-wqy-microhei
)
display=(xvfb xauth x11-utils xdotool imagemagick)
for group in "$@"; do
    case "$group" in
    tests)
        packages+=(libgtest-dev libbenchmark-dev libxml2-utils libxml2-dev strace poppler-utils
                   "${display[@]}"
                   clang-14 libclang-rt-14-dev clang-tidy-14)
        ;;
    display) packages+=("${display[@]}") ;;
    package) packages+=(debhelper dpkg-dev fakeroot lintian) ;;
    package-check) packages+=(desktop-file-utils appstream shared-mime-info xdg-utils libglib2.0-bin
                            "${display[@]}") ;;
    icon) packages+=(librsvg2-bin) ;;
    translations) packages+=(qttools5-dev-tools) ;;
    qt6) packages+=(qt6-base-dev qt6-5compat-dev) ;;
    *) echo "unknown package group: $group" >&2; exit 2 ;;
    esac
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | awk '!seen[$0]++')

# One dpkg-query for all: the installed ones, then whatever of the list is not among them.
installed=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null |
    awk '$1 == "ii" {printf "%s ", $2}' || true)"
missing=()
for p in "${packages[@]}"; do
    [[ "$installed" == *" $p "* ]] || missing+=("$p")
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
