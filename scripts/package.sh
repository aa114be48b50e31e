#!/usr/bin/env bash
# Builds the Debian package velmora_<version>-1_amd64.deb into the project folder: a Release build
# of the installed programs alone (no tests, no benchmarks) in build-pkg/, with Debian's
# hardening flags, stripped and packed by CPack. Install it with: sudo apt install ./velmora_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's packages, then dpkg-shlibdeps (dpkg-dev) and the file type check CPack runs on
# each program to find its libraries.
scripts/deps.sh dpkg-dev file
jobs="${VELMORA_JOBS:-$(nproc)}"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The prefix /usr gives the library folder Debian's multiarch place (lib/<triplet>), where the
# conversion's module goes without ldconfig scripts.
cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELMORA_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON --no-warn-unused-cli \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
# Only what the package holds; the install step then builds nothing more.
cmake --build build-pkg -j "$jobs" --target velmora_installed
rm -f build-pkg/velmora_*.deb
(cd build-pkg && cpack -G DEB >/dev/null)
deb=$(cd build-pkg && ls velmora_*.deb)
rm -f velmora_*.deb
mv "build-pkg/$deb" .
echo "$deb"
