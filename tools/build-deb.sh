#!/usr/bin/env bash
# Builds the Debian binary package and checks it with lintian:
#   tools/build-deb.sh [output folder]        (default: $TMPDIR/vellorin-deb)
# The build runs on a copy of the tree in the output folder, so neither the clone's build*
# folders nor debian/ ever see a leftover. The folder ends up holding the .deb, .changes and
# .buildinfo. Fails when the build, its test run or lintian (any error or warning) fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-${TMPDIR:-/tmp}/vellorin-deb}")"
case "$out/" in
"$root"/*) echo "the output folder must lie outside the source tree: $out" >&2; exit 2 ;;
esac
start=$SECONDS

"$root/tools/deps.sh" package

version="$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)"
work="$out/work"
src="$work/vellorin-${version%%-*}"
rm -rf "$work"
mkdir -p "$src"

# The copy: files under version control plus new ones not ignored (so no build* folders).
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
        tar --null -T - -cf -) | tar -C "$src" -xf -
else
    tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$src" -xf -
fi

echo "building $src"
(cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    nice -n 10 dpkg-buildpackage -b -us -uc) >"$out/build.log" 2>&1 || {
    tail -n 60 "$out/build.log"
    echo "the package build failed; the whole log is $out/build.log" >&2
    exit 1
}

arch="$(dpkg-architecture -qDEB_HOST_ARCH)"
base="vellorin_${version}"
rm -f "$out"/vellorin*.*deb "$out"/vellorin*.changes "$out"/vellorin*.buildinfo
mv "$work/${base}_${arch}.deb" "$work/${base}_${arch}.changes" "$work/${base}_${arch}.buildinfo" "$out/"
mv "$work"/vellorin-dbgsym_*.*deb "$out/" 2>/dev/null || true
rm -rf "$work"
ls -l "$out"

# lintian checks the .changes together with the .deb and the .buildinfo it lists.
echo "lintian:"
lintian --fail-on error,warning --display-info "$out/${base}_${arch}.changes"
echo "lintian: no errors, no warnings"
echo "package: $out/${base}_${arch}.deb ($((SECONDS - start)) s)"
