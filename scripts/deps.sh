#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Usage: scripts/deps.sh [extra-package ...]
# Scripts that need more name it: package.sh adds dpkg-dev and file; check-package.sh adds
# desktop-file-utils, appstream, lintian, xvfb, xauth and x11-utils; make-screenshots.sh adds
# xvfb and xauth.
set -euo pipefail
# dosfstools, fusefat, fatsort, mtools, exfat-fuse, exfatprogs: the stick's tests make FAT images
# and mount them through FUSE.
pkgs=(cmake ninja-build g++ pkg-config clang-format
      qt6-base-dev qt6-translations-l10n libjpeg-dev libpng-dev libicu-dev libtag1-dev libisofs-dev
      libburn-dev genisoimage xorriso
      libavformat-dev libavcodec-dev libswresample-dev libmp3lame-dev ffmpeg sox twolame
      libgtest-dev libgmock-dev libbenchmark-dev
      clang libclang-rt-14-dev fonts-dejavu-core
      dosfstools fusefat fatsort mtools exfat-fuse exfatprogs "$@")
missing=()
for p in "${pkgs[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
