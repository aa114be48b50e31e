#!/usr/bin/env bash
# Makes the window's pictures: docs/screenshot.png rendered offscreen (shown in the README) and
# docs/screenshot-x11.png taken from a real X window under Xvfb, to check that fonts and icons
# render on an X server too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# Only this script needs an X server.
scripts/deps.sh xvfb xauth
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target velmora-screenshot
runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
mkdir -p docs
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen \
    build/tools/velmora-screenshot docs/screenshot.png
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
    xvfb-run --auto-servernum --server-args="-screen 0 1280x900x24" \
    build/tools/velmora-screenshot docs/screenshot-x11.png --warning
