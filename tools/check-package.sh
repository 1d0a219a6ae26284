#!/usr/bin/env bash
# Checks a built package as its user gets it: tools/check-package.sh vellorin_<version>_<arch>.deb
# Unpacks it into a temporary folder, validates the desktop entry and the AppStream metainfo,
# checks the installed files, then starts the unpacked program on a virtual X display and
# loads example checklists through the "Open" button and the file dialog with real X input
# events, checking the debug trace and the window's picture. Prints "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
id=local.vellorin.Vellorin

# --- Part run on the virtual display: on-display <work folder> <checklist files...> -----------
if [ "${1:-}" = on-display ]; then
    work="$2"
    shift 2
    results="$work/results"
    pass() { echo "PASS $1" | tee -a "$results"; }
    fail() { echo "FAIL $1" | tee -a "$results"; }
    # Polls a condition for up to 20 s.
    wait_for() {
        for _ in $(seq 1 200); do
            "$@" && return 0
            sleep 0.1
        done
        return 1
    }
    window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
    has_window() { [ -n "$(window_named "$1")" ]; }

    export QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="default.debug=true"
    # A user of its own: the file dialog's history on this machine does not steer the check.
    mkdir -m 700 -p "$work/home" "$work/runtime"
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
    log="$work/stderr.log"
    "$work/root/usr/bin/vellorin" 2>"$log" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT

    if ! wait_for has_window Vellorin; then
        fail "a window titled \"Vellorin\" appears"
        exit 0
    fi
    pass "a window titled \"Vellorin\" appears"
    main="$(window_named Vellorin)"
    geometry="$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')"
    read -r wx wy ww wh <<<"$geometry"
    if [ "${ww}x${wh}" = 640x480 ]; then pass "the window is 640x480"; else fail "the window is 640x480 (it is ${ww}x${wh})"; fi
    sleep 0.5 # let the first paint finish

    shot() { import -window root -crop "${ww}x${wh}+${wx}+${wy}" +repage "$1"; }
    # The tree lies between the button rows; its picture changes when rows appear.
    tree_changed() {
        [ "$(compare -metric AE -crop "$((ww - 40))x$((wh - 180))+20+90" "$1" "$2" null: 2>&1 || true)" != 0 ]
    }
    shot "$work/empty.png"

    n=0
    for file in "$@"; do
        n=$((n + 1))
        name="$(basename "$file")"
        lists="$(xmllint --xpath 'count(/doc/list)' "$file" 2>/dev/null)"
        if ! [ "${lists:-0}" -gt 0 ] 2>/dev/null; then
            fail "$name: a checklist file with lists"
            continue
        fi
        first="$(xmllint --xpath 'string(/doc/list[1]/name)' "$file")"
        before="$(grep -c '^CHECKLIST: ' "$log")"

        # The "Open" button sits at the left end of the top button row, under the empty tool bar.
        xdotool mousemove --window "$main" 35 38 click 1
        if ! wait_for has_window "Open File"; then
            fail "$name: the \"Open\" button opens the \"Open File\" dialog"
            continue
        fi
        pass "$name: the \"Open\" button opens the \"Open File\" dialog"
        dialog="$(window_named "Open File")"
        xdotool mousemove --window "$dialog" 5 5 # keys go where the pointer is, without a manager
        sleep 0.3
        xdotool type --delay 20 "$file"
        sleep 0.3
        # The first Return may only close the name completion list; a second one then accepts.
        for _ in 1 2 3; do
            has_window "Open File" || break
            xdotool key Return
            sleep 1
        done
        count_lists() { [ $(($(grep -c '^CHECKLIST: ' "$log") - before)) -ge "$lists" ]; }
        if wait_for count_lists && ! has_window "Open File"; then
            pass "$name: the trace shows its $lists lists"
        else
            fail "$name: the trace shows its $lists lists (it shows $(($(grep -c '^CHECKLIST: ' "$log") - before)))"
            continue
        fi
        if grep -qF "CHECKLIST:  \"$first\"" "$log"; then
            pass "$name: the trace names the first list \"$first\""
        else
            fail "$name: the trace names the first list \"$first\""
        fi
        sleep 0.5
        shot "$work/loaded-$n.png"
        if tree_changed "$work/empty.png" "$work/loaded-$n.png"; then
            pass "$name: the tree shows rows"
        else
            fail "$name: the tree shows rows"
        fi
    done
    if kill -0 "$pid" 2>/dev/null; then pass "the program is still running"; else fail "the program is still running"; fi
    exit 0
fi

# --- Main part -----------------------------------------------------------------------------
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 vellorin_<version>_<arch>.deb" >&2; exit 2; }
deb="$(realpath "$1")"
"$root/tools/deps.sh" package-check || exit 1

work="$(mktemp -d "${TMPDIR:-/tmp}/vellorin-check.XXXXXX")"
results="$work/results"
touch "$results"
pass() { echo "PASS $1" | tee -a "$results"; }
fail() { echo "FAIL $1" | tee -a "$results"; }

dpkg-deb -x "$deb" "$work/root" || { echo "cannot unpack $deb" >&2; exit 1; }
usr="$work/root/usr"
desktop="$usr/share/applications/$id.desktop"
metainfo="$usr/share/metainfo/$id.metainfo.xml"

# The files a user's desktop looks for.
missing=""
for f in bin/vellorin share/man/man1/vellorin.1.gz "share/applications/$id.desktop" \
    "share/metainfo/$id.metainfo.xml" "share/icons/hicolor/scalable/apps/$id.svg" \
    share/doc/vellorin/user-guide.md.gz share/doc/vellorin/screenshot.png \
    share/doc/vellorin/print-preview.png "share/mime/packages/$id.xml"; do
    [ -e "$usr/$f" ] || missing="$missing $f"
done
if [ -z "$missing" ]; then pass "the package holds the program, desktop entry, file type, metainfo, man page, SVG icon and user guide"; else fail "missing:$missing"; fi
for size in 16 22 24 32 48 64 128 256; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    got="$(identify -format '%wx%h' "$png" 2>/dev/null)"
    if [ "$got" = "${size}x${size}" ]; then pass "icon ${size}x${size}"; else fail "icon ${size}x${size} (found: ${got:-none})"; fi
done

# Validators: any error or warning fails.
out="$(desktop-file-validate "$desktop" 2>&1)"
status=$?
echo "desktop-file-validate: ${out:-(no messages)}"
if [ $status -eq 0 ] && ! grep -qiE 'error|warning' <<<"$out"; then pass "desktop-file-validate"; else fail "desktop-file-validate"; fi
out="$(appstreamcli validate --no-net "$metainfo" 2>&1)"
status=$?
echo "appstreamcli validate --no-net: $out"
if [ $status -eq 0 ] && ! grep -qE '^[EW]: ' <<<"$out"; then pass "appstreamcli validate"; else fail "appstreamcli validate"; fi

# One id names them all.
if grep -qx "Icon=$id" "$desktop" && grep -qx 'Exec=vellorin %f' "$desktop" &&
    grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" &&
    grep -qF "<id>$id</id>" "$metainfo"; then
    pass "desktop entry and metainfo name the program, icon and entry by one id"
else
    fail "desktop entry and metainfo name the program, icon and entry by one id"
fi

# The file type: a desktop sends a checklist (root "doc") to Vellorin and any other XML file
# elsewhere. The package's type joins the machine's in one database, as installing it does, and
# its desktop entry is indexed; xdg-mime asks them as a desktop session would.
types="$work/types"
mkdir -p "$types/data/mime/packages" "$types/config" "$types/home"
cp /usr/share/mime/packages/*.xml "$usr"/share/mime/packages/*.xml "$types/data/mime/packages/"
cp -r "$usr/share/applications" "$types/data/"
update-mime-database "$types/data/mime" >/dev/null 2>&1
update-desktop-database "$types/data/applications" >/dev/null 2>&1
printf '<?xml version="1.0" encoding="UTF-8"?>\n<doc>\n   <list><name>L</name></list>\n</doc>\n' \
    >"$types/checklist.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<project>\n <doc>P</doc>\n</project>\n' \
    >"$types/project.xml"
default_for() { # default_for <file>: the desktop entry xdg-mime opens it with
    local type
    type="$(HOME="$types/home" XDG_CONFIG_HOME="$types/config" XDG_DATA_HOME="$types/home" \
        XDG_DATA_DIRS="$types/data" XDG_CURRENT_DESKTOP=GNOME \
        xdg-mime query filetype "$1" 2>/dev/null)"
    echo "$type: $(HOME="$types/home" XDG_CONFIG_HOME="$types/config" XDG_DATA_HOME="$types/home" \
        XDG_DATA_DIRS="$types/data" XDG_CURRENT_DESKTOP=GNOME \
        xdg-mime query default "$type" 2>/dev/null)"
}
got="$(default_for "$types/checklist.xml")"
echo "a checklist: $got"
if [ "$got" = "application/x-vellorin-checklist: $id.desktop" ]; then
    pass "a checklist opens in Vellorin by default"
else
    fail "a checklist opens in Vellorin by default"
fi
got="$(default_for "$types/project.xml")"
echo "another XML file: $got"
if [[ "$got" != *"$id.desktop"* ]]; then
    pass "another XML file does not open in Vellorin by default"
else
    fail "another XML file does not open in Vellorin by default"
fi

# The packaged examples are the checklists to load.
mapfile -t lists < <(ls "$usr"/share/doc/vellorin/examples/*.xml 2>/dev/null)
[ ${#lists[@]} -gt 0 ] || fail "the package holds example checklists"

"$root/tools/with-xvfb.sh" 1024x768x24 bash "$0" on-display "$work" "${lists[@]}" ||
    fail "the virtual display runs"
grep -q 'appears$' "$results" || fail "the program was started on the virtual display"

passed="$(grep -c '^PASS ' "$results")"
failed="$(grep -c '^FAIL ' "$results")"
if [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]; then
    rm -rf "$work"
else
    echo "kept for a look: $work (stderr.log, screenshots)"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
