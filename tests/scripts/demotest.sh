#!/usr/bin/env bash
# The README's demo command on a machine without a display: with --screenshot it renders the
# PNGs offscreen by itself; without, it says what is missing and exits with status 2.
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_demo() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM BUILD_DIR="$build_dir" \
        DIGSIG_DEMO_ROOT="$work/root" "$source_dir/scripts/demo" "$@"
}

status=0
run_demo >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -ne 2 ] || ! grep -q 'no display' "$work/err" || ! grep -q -- '--screenshot DIR' "$work/err"; then
    echo "FAIL: plain demo without a display exited with $status:" >&2
    cat "$work/out" "$work/err" >&2
    exit 1
fi
if grep -q -i 'abort\|could not connect' "$work/err"; then
    echo "FAIL: Qt's abort reached the user:" >&2
    cat "$work/err" >&2
    exit 1
fi

run_demo --screenshot "$work/shots" >"$work/out" 2>"$work/err" || {
    echo "FAIL: demo --screenshot without a display failed:" >&2
    cat "$work/out" "$work/err" >&2
    exit 1
}
for name in DigSig DigSigKeys DigSigSigning SigningDialog; do
    if [ ! -s "$work/shots/$name.png" ]; then
        echo "FAIL: $name.png was not rendered; the folder holds: $(ls "$work/shots" 2>/dev/null | tr '\n' ' ')" >&2
        exit 1
    fi
done
echo "PASS: both demo commands behave without a display"
