#!/usr/bin/env bash
# Checks the Debian package made by scripts/package.sh: its fields and file list, lintian, then an
# install with dpkg on this machine: the installed desktop entry and AppStream data validate, the
# programs start, and the package is removed again so the machine stays as it was.
# Usage: scripts/check-package.sh [PACKAGE.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh desktop-file-utils appstream lintian xvfb xauth x11-utils

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="${1:-velmora_${version}-1_amd64.deb}"
id=io.github.velmora.Velmora
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
fail() {
    echo "check-package: $*" >&2
    exit 1
}
[ -f "$deb" ] || fail "$deb not found; make it with scripts/package.sh"

echo "-- Fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora ] || fail "Package is $(field Package)"
[ "$(field Version)" = "${version}-1" ] || fail "Version is $(field Version)"
[ "$(field Section)" = sound ] || fail "Section is $(field Section)"
[ "$(field Recommends)" = qt6-translations-l10n ] || fail "Recommends is $(field Recommends)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# Found by dpkg-shlibdeps from the program's libraries.
field Depends | grep -q 'libqt6widgets6' || fail "Depends lacks Qt: $(field Depends)"
field Depends | grep -q 'libc6' || fail "Depends lacks libc6: $(field Depends)"

echo "-- Files"
files=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
expected=(/usr/bin/velmora /usr/share/applications/$id.desktop
          /usr/share/metainfo/$id.metainfo.xml /usr/share/man/man1/velmora.1.gz
          /usr/share/doc/velmora/copyright /usr/share/doc/velmora/changelog.Debian.gz)
for size in 16 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
# velmora-cli with its manual page, and the modules (conversion, burning).
has_cli=true
expected+=(/usr/bin/velmora-cli /usr/share/man/man1/velmora-cli.1.gz)
module=$(grep -E '^/usr/lib/([^/]+/)?velmora/libvelmora-convert\.so$' <<<"$files" || true)
[ -n "$module" ] || fail "the conversion module is not in the package"
burnModule=$(grep -E '^/usr/lib/([^/]+/)?velmora/libvelmora-burn\.so$' <<<"$files" || true)
[ -n "$burnModule" ] || fail "the burn module is not in the package"
isoModule=$(grep -E '^/usr/lib/([^/]+/)?velmora/libvelmora-iso\.so$' <<<"$files" || true)
[ -n "$isoModule" ] || fail "the disc image module is not in the package"
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$files" || fail "$path is not in the package"
done
# The programs are stripped.
tmp=$(mktemp -d)
installed=false
cleanup() {
    rm -rf "$tmp"
    if $installed; then
        $sudo dpkg -r velmora >/dev/null
    fi
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$tmp/root"
for program in "$tmp"/root/usr/bin/* "$tmp/root$module" "$tmp/root$burnModule" \
    "$tmp/root$isoModule"; do
    file -b "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
done
field Depends | grep -q 'libmp3lame0' || fail "Depends lacks LAME: $(field Depends)"

echo "-- lintian (errors fail, warnings are shown)"
lintian --fail-on error --tag-display-limit 0 --display-info "$deb" || fail "lintian found errors"

echo "-- Install"
$sudo dpkg -i "$deb" >/dev/null
installed=true
desktop-file-validate /usr/share/applications/$id.desktop
appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml
if $has_cli; then
    out=$(velmora-cli --version)
    [ "$out" = "velmora-cli $version" ] || fail "velmora-cli --version printed: $out"
    # The installed program finds its conversion module: a second of silence in a WAV file
    # becomes an MP3.
    mkdir "$tmp/music"
    { printf 'RIFF\x34\x58\x01\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00'
      printf '\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00data\x10\x58\x01\x00'
      head -c 88080 /dev/zero; } >"$tmp/music/silence.wav"
    velmora-cli convert "$tmp/music" >/dev/null 2>&1 || fail "velmora-cli convert failed"
    [ -s "$tmp/music/silence.mp3" ] || fail "velmora-cli convert made no MP3"
fi

echo "-- Start the installed velmora"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$tmp}"
chmod 700 "$XDG_RUNTIME_DIR"
# Offscreen: still running after 5 seconds means it started and waits in its event loop.
rc=0
QT_QPA_PLATFORM=offscreen timeout 5 velmora >"$tmp/offscreen.log" 2>&1 || rc=$?
[ "$rc" -eq 124 ] || { cat "$tmp/offscreen.log"; fail "velmora ended with $rc offscreen"; }
# Under an X server the window itself can be seen: a top-level window titled "Velmora".
cat >"$tmp/window.sh" <<'SCRIPT'
velmora &
pid=$!
for _ in $(seq 50); do
    if xwininfo -root -tree | grep -q '"Velmora"'; then
        kill "$pid"
        exit 0
    fi
    sleep 0.2
done
kill "$pid" 2>/dev/null
exit 1
SCRIPT
QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum --server-args="-screen 0 1280x900x24" \
    bash "$tmp/window.sh" || fail "velmora showed no window under Xvfb"

echo "-- Remove"
$sudo dpkg -r velmora >/dev/null
installed=false
[ ! -e /usr/bin/velmora ] || fail "/usr/bin/velmora is still there after dpkg -r"
echo "Package $deb checked"
