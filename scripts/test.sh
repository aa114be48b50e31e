#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: once normally, once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and (when clang's libFuzzer is there) runs each
# fuzz target for a bounded time; last builds the Debian package and checks it, installing it with
# dpkg and removing it again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)
fuzz_seconds="${VELMORA_FUZZ_SECONDS:-30}"

echo "== Format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_BUILD_BENCH=OFF -DVELMORA_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$san" -DCMAKE_C_FLAGS="$san" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs"

if command -v clang++ >/dev/null && echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' \
        | clang++ -x c++ -fsanitize=fuzzer - -o /tmp/velmora-fuzz-check 2>/dev/null; then
    echo "== Fuzz targets (${fuzz_seconds} s each)"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DVELMORA_FUZZ=ON -DVELMORA_BUILD_UI=OFF -DVELMORA_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
    cmake --build build-fuzz -j "$jobs"
    for target in build-fuzz/fuzz/fuzz_*; do
        case "$target" in *_replay) continue ;; esac
        name=$(basename "$target")
        work=$(mktemp -d)
        cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
        # A crash's input goes into the build folder, never into the sources.
        "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix=build-fuzz/ \
            -print_final_stats=0 "$work" 2>&1 | tail -n 3
        rm -rf "$work"
    done
else
    echo "== Fuzz targets skipped: clang with libFuzzer is not available"
fi
echo "== Debian package"
VELMORA_JOBS="$jobs" scripts/package.sh
scripts/check-package.sh
echo "== All tests passed"
